// Reading config.json into ConfigDocument, against real files.

#include "config/config.h"

#include <gmock/gmock.h>

#include <functional>

#include "tests/core_fixture.h"

namespace glyphwork::testing {
namespace {

namespace fs = std::filesystem;

using ConfigTest = CoreTest;

const std::string kBom = "\xEF\xBB\xBF";

const std::string kInConfig = "ArkApi/Plugins/Glyphwork/config.json: ";

std::string ReadConfigFailure() { return FailureOf(ReadConfig); }

TEST_F(ConfigTest, ReadsTheFirstJsonValueOfTheFileAsItStands) {
  struct Case {
    std::string file;
    std::string document;
  };
  for (const Case& c : {
           Case{R"({"UsePermissions": true, "PermissionsGroups": ["Admins"]})",
                R"({"PermissionsGroups":["Admins"],"UsePermissions":true})"},
           Case{kBom + R"({"UsePermissions": true})", R"({"UsePermissions":true})"},
           // Nothing after the first value is looked at, not even whether it is JSON.
           Case{"{\"a\": 1}\n{\"b\": 2}", R"({"a":1})"},
           Case{"{\"a\": 1} // a comment after the value", R"({"a":1})"},
           Case{"{\"a\": 1}}]\x01\xff", R"({"a":1})"},
           Case{R"({"a": 1, "b": 2, "a": 3})", R"({"a":3,"b":2})"},
           // The read checks no schema: a list is stored, and meets its
           // readers as a type error.
           Case{R"([1, "two"])", R"([1,"two"])"},
           Case{"{}", "{}"},
           Case{"\r\n\t {\"Name\": \"\xC3\xBC\"} \r\n", "{\"Name\":\"\xC3\xBC\"}"},
       }) {
    WriteConfig(c.file);
    const auto generation = DocumentsGeneration();
    ASSERT_NO_THROW(ReadConfig()) << c.file;
    EXPECT_EQ(c.document, ConfigDocument.dump()) << c.file;
    EXPECT_NE(generation, DocumentsGeneration()) << c.file;
  }
}

TEST_F(ConfigTest, ThePathIsTheCurrentDirectoryWithNothingNormalised) {
  standin::StopHost();
  // No second log file: the first, still open, is the same file (the live
  // host's logging library opens it denying other writers).
  standin::StartHost({.server_dir = Utf8FromPath(Root()),
                      .console_sink = false,
                      .log_file = false,
                      .current_dir = Utf8FromPath(BinariesDir()) + "/"});
  EXPECT_EQ(Utf8FromPath(BinariesDir()) + "//ArkApi/Plugins/Glyphwork/config.json", Utf8FromPath(GetConfigPath()));
  WriteConfig(R"({"a": 1})");
  ReadConfig();
  EXPECT_EQ(R"({"a":1})", ConfigDocument.dump());
}

TEST_F(ConfigTest, AFailedReadNamesTheFileWithItsOwnTextAndKeepsThePreviousDocument) {
  const std::string previous = R"({"PermissionsGroups":["Admins"],"UsePermissions":true})";
  const fs::path config = PluginDir() / "config.json";
  struct Case {
    std::function<void()> make;
    std::string error;
  };
  const auto file = [this](const std::string& content) { return [this, content] { WriteConfig(content); }; };
  const std::vector<Case> cases = {
      {[] {}, "Can't open config.json"},
      {[&] { fs::create_directory(config); }, "Can't open config.json"},
      {file(""),
       "[json.exception.parse_error.101] parse error at line 1, column 1: syntax error while parsing value - "
       "unexpected end of input; expected '[', '{', or a literal"},
      {file("// settings\n{}"),
       "[json.exception.parse_error.101] parse error at line 1, column 1: syntax error while parsing value - invalid "
       "literal; last read: '/'"},
      {file("{/* none */}"),
       "[json.exception.parse_error.101] parse error at line 1, column 2: syntax error while parsing object key - "
       "invalid literal; last read: '{/'; expected string literal"},
      // Half read: the members before the error must not take effect.
      {file(R"({"UsePermissions": false, "PermissionsGroups": [})"),
       "[json.exception.parse_error.101] parse error at line 1, column 49: syntax error while parsing value - "
       "unexpected '}'; expected '[', '{', or a literal"},
      {file(std::string("\xFF\xFE{\0}\0", 6)),
       "[json.exception.parse_error.101] parse error at line 1, column 1: syntax error while parsing value - invalid "
       "literal; last read: '\xFF'"},
      {file("\xEF\xBB{}"),
       "[json.exception.parse_error.101] parse error at line 1, column 3: syntax error while parsing value - invalid "
       "BOM; must be 0xEF 0xBB 0xBF if given; last read: '\xEF\xBB{'"},
      {file(R"({"Name": "a)"
            "\x01"
            R"("})"),
       "[json.exception.parse_error.101] parse error at line 1, column 12: syntax error while parsing value - invalid "
       "string: control character U+0001 (SOH) must be escaped to \\u0001; last read: '\"a<U+0001>'"},
      {file(R"({"a": 1e999})"), "[json.exception.out_of_range.406] number overflow parsing '1e999'"},
      // At the comma, where glyphwork-check puts it, not at the bracket after it.
      {file("{\"UsePermissions\": false,\n  }"),
       "[json.exception.parse_error.101] parse error at line 1, column 25: trailing comma: JSON allows no comma after "
       "the last member of an object or list"},
  };
  for (const Case& c : cases) {
    WriteConfig(previous);
    ReadConfig();
    fs::remove(config);
    c.make();
    const auto generation = DocumentsGeneration();
    EXPECT_EQ(kInConfig + c.error, ReadConfigFailure());
    EXPECT_EQ(previous, ConfigDocument.dump()) << c.error;
    EXPECT_EQ(generation, DocumentsGeneration()) << c.error;
    fs::remove_all(config);
  }
}

TEST_F(ConfigTest, AnUnreadableFileCannotBeOpened) {
  WriteConfig(R"({"UsePermissions": true})");
  ReadConfig();
  std::filesystem::permissions(PluginDir() / "config.json", std::filesystem::perms::none);
  Unprivileged unprivileged(PluginDir().parent_path());
  if (!unprivileged.enforced()) GTEST_SKIP() << "file modes cannot be enforced here";
  EXPECT_EQ(kInConfig + "Can't open config.json", ReadConfigFailure());
  EXPECT_EQ(R"({"UsePermissions":true})", ConfigDocument.dump());
}

}  // namespace
}  // namespace glyphwork::testing
