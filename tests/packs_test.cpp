// The pack scan into PackDocument, against real folders.

#include <gmock/gmock.h>

#include <functional>

#include "config/config.h"
#include "tests/core_fixture.h"

namespace glyphwork::testing {
namespace {

namespace fs = std::filesystem;

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class PacksTest : public CoreTest {
 protected:
  fs::path PacksDir() const { return PluginDir() / "Packs"; }

  void UseConfig(const std::string& content) {
    WriteConfig(content);
    ReadConfig();
  }

  std::string LoadPacksFailure() { return FailureOf(LoadPacks); }
};

const std::string kMissingLine = "31 [Glyphwork][ERR] Packs folder doesn't exist!";

TEST_F(PacksTest, EveryRegularFileIsAPackInByteOrderOfName) {
  WritePack("b.json", R"({"EmojiPath": "/Game/B/", "EmojiArray": ["bee"]})");
  WritePack("a.json", R"({"EmojiArray": ["ant"], "Extra": 1})");
  WritePack(".hidden", "{}");
  WritePack("Zed", R"(["a list"])");
  WritePack("readme.txt", R"("a string")");
  WritePack("sub/inner.json", R"({"EmojiArray": ["inner"]})");
  // A link to a file is a pack; a dangling one and one to a folder are not,
  // and the dangling one is named at every scan.
  const bool links = CreateSymlink("a.json", PacksDir() / "link") &&
                     CreateSymlink("missing", PacksDir() / "dangling") &&
                     CreateSymlink("sub", PacksDir() / "sublink", true);
  const std::string expected = std::string(R"({"EmojiMap":[{},["a list"],{"EmojiArray":["ant"],"Extra":1},)") +
                               R"({"EmojiArray":["bee"],"EmojiPath":"/Game/B/"},)" +
                               (links ? R"({"EmojiArray":["ant"],"Extra":1},)" : "") + R"("a string"]})";
  // `Packs` selects nothing, whatever it holds.
  for (const char* config : {"{}", R"({"Packs": ["b.json"]})", R"({"Packs": "a.json"})", R"({"Packs": 5})",
                             R"({"Packs": null})", R"({"Packs": {"x": "Zed"}})"}) {
    UseConfig(config);
    PackDocument = nlohmann::json::object();
    LoadPacks();
    EXPECT_EQ(expected, PackDocument.dump()) << config;
    const std::vector<std::string> skipped = {"31 [Glyphwork][ERR] Skipped dangling in Packs: a link to nothing!"};
    EXPECT_EQ(links ? skipped : std::vector<std::string>{}, WithoutTime(TakeConsole())) << config;
  }
}

TEST_F(PacksTest, NoPacksFolderOrAnEmptyOneLeavesNoPacks) {
  UseConfig("{}");
  struct Case {
    std::function<bool()> make;  // false: cannot be made on this platform
    std::vector<std::string> console;
  };
  const std::vector<Case> cases = {
      {[] { return true; }, {kMissingLine}},
      {[&] { return Write(PluginDir() / "Packs", R"({"EmojiArray": ["x"]})"), true; }, {kMissingLine}},
      {[&] {
         Write(PluginDir() / "file.json", "{}");
         return CreateSymlink("file.json", PacksDir());
       },
       {kMissingLine}},
      {[&] { return CreateSymlink("nowhere", PacksDir()); }, {kMissingLine}},
      {[&] { return fs::create_directory(PacksDir()); }, {}},
      {[&] { return fs::create_directories(PacksDir() / "only" / "subfolders"); }, {}},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    WritePack("a.json", R"({"EmojiArray": ["ant"]})");
    LoadPacks();
    ASSERT_EQ(R"({"EmojiMap":[{"EmojiArray":["ant"]}]})", PackDocument.dump());
    fs::remove_all(PacksDir());
    if (!cases[i].make()) continue;
    const auto generation = DocumentsGeneration();
    ASSERT_NO_THROW(LoadPacks()) << "case " << i;
    EXPECT_EQ("{}", PackDocument.dump()) << "case " << i;
    EXPECT_NE(generation, DocumentsGeneration()) << "case " << i;
    EXPECT_EQ(cases[i].console, WithoutTime(TakeConsole())) << "case " << i;
    fs::remove_all(PacksDir());
  }
}

TEST_F(PacksTest, AFailedScanRaisesAndKeepsThePreviousPacks) {
  struct Case {
    std::string config;
    std::function<bool()> make;  // false: cannot be made on this platform
    std::string error;
    std::vector<std::string> console;
  };
  const std::string kB = "ArkApi/Plugins/Glyphwork/Packs/b.json: ";
  const std::string kConfig = "ArkApi/Plugins/Glyphwork/config.json: ";
  const std::vector<Case> cases = {
      // A pack that is not JSON between two good ones: named on the console,
      // since the library's text does not name it.
      {"{}",
       [&] { return WritePack("b.json", "not json"), true; },
       kB + "[json.exception.parse_error.101] parse error at line 1, column 2: syntax error while parsing value - "
            "invalid "
            "literal; last read: 'no'",
       {"31 [Glyphwork][ERR] Can't parse b.json pack!"}},
      {"{}",
       [&] { return WritePack("b.json", ""), true; },
       kB + "[json.exception.parse_error.101] parse error at line 1, column 1: syntax error while parsing value - "
            "unexpected end of input; expected '[', '{', or a literal",
       {"31 [Glyphwork][ERR] Can't parse b.json pack!"}},
      {"{}",
       [&] { return WritePack("b.json", R"({"EmojiArray": [1e999]})"), true; },
       kB + "[json.exception.out_of_range.406] number overflow parsing '1e999'",
       {"31 [Glyphwork][ERR] Can't parse b.json pack!"}},
      {"{}",
       [&] { return CreateSymlink("loop", PacksDir() / "loop"); },
       "ArkApi/Plugins/Glyphwork/Packs/: filesystem error: status: Too many levels of symbolic links [" +
           (PacksDir() / "loop").string() + "]",
       {}},
      // Looking `Packs` up in a config.json that is not an object.
      {"[]", [] { return true; }, kConfig + "expected an object at the top level, found a list", {}},
      {"null", [] { return true; }, kConfig + "expected an object at the top level, found null", {}},
  };
  for (const Case& c : cases) {
    fs::remove_all(PacksDir());
    UseConfig("{}");
    WritePack("a.json", R"({"EmojiPath": "/Game/A/", "EmojiArray": ["ant"]})");
    WritePack("c.json", R"({"EmojiPath": "/Game/C/", "EmojiArray": ["cat"]})");
    LoadPacks();
    const std::string previous = PackDocument.dump();
    WritePack("a.json", R"({"EmojiPath": "/Game/New/", "EmojiArray": ["ant"]})");
    UseConfig(c.config);
    if (!c.make()) continue;
    const auto generation = DocumentsGeneration();
    EXPECT_EQ(c.error, LoadPacksFailure());
    EXPECT_EQ(previous, PackDocument.dump()) << c.error;
    EXPECT_EQ(generation, DocumentsGeneration()) << c.error;
    EXPECT_EQ(c.console, WithoutTime(TakeConsole())) << c.error;
  }
}

TEST_F(PacksTest, UnreadablePacksAndFoldersAreErrorsNotEmptyFolders) {
  UseConfig("{}");
  struct Case {
    fs::path locked;
    std::string error;
  };
  const std::vector<Case> cases = {
      {PacksDir() / "b.json", "ArkApi/Plugins/Glyphwork/Packs/b.json: Can't open b.json pack!"},
      {PacksDir(),
       "ArkApi/Plugins/Glyphwork/Packs/: filesystem error: directory_iterator::directory_iterator: "
       "Permission denied [" +
           PacksDir().string() + "/]"},
      {PluginDir(),
       "ArkApi/Plugins/Glyphwork/Packs/: filesystem error: exists: Permission denied [" + PacksDir().string() + "/]"},
  };
  for (const Case& c : cases) {
    WritePack("a.json", R"({"EmojiArray": ["ant"]})");
    WritePack("b.json", R"({"EmojiArray": ["bee"]})");
    LoadPacks();
    const std::string previous = PackDocument.dump();
    WritePack("c.json", R"({"EmojiArray": ["cat"]})");
    const auto mode = fs::status(c.locked).permissions();
    fs::permissions(c.locked, fs::perms::none);
    {
      Unprivileged unprivileged(PluginDir().parent_path());
      if (!unprivileged.enforced()) GTEST_SKIP() << "file modes cannot be enforced here";
      EXPECT_EQ(c.error, LoadPacksFailure());
    }
    fs::permissions(c.locked, mode);
    EXPECT_EQ(previous, PackDocument.dump()) << c.error;
    EXPECT_THAT(TakeConsole(), IsEmpty()) << c.error;
  }
}

}  // namespace
}  // namespace glyphwork::testing
