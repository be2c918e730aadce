// Inputs an admin or a player can get wrong that the other suites do not
// reach: odd file names, odd bytes in names, and size.
#include <gmock/gmock.h>

#include <fstream>

#include "config/config.h"
#include "tests/chat_fixture.h"
#include "tests/core_fixture.h"

namespace glyphwork::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

class BadPackTest : public CoreTest {};

TEST_F(BadPackTest, NamesThatAreNotUtf8) {
  WriteConfig("{}");
  ReadConfig();
  // A file name is bytes: one that is not UTF-8 is a pack like any other.
  if constexpr (sizeof(fs::path::value_type) == 1) {
    WritePack("caf\xE9.json", R"({"EmojiArray": ["ok"]})");
    LoadPacks();
    EXPECT_EQ(R"({"EmojiMap":[{"EmojiArray":["ok"]}]})", PackDocument.dump());
    fs::remove(PluginDir() / "Packs" / "caf\xE9.json");
  }
  // An emoji name that is not UTF-8 is refused by the parser, and the pack
  // named; the packs in effect stay.
  const std::string before = PackDocument.dump();
  WritePack("bad.json", "{\"EmojiArray\": [\"sm\xFFile\"]}");
  EXPECT_THAT(FailureOf(LoadPacks), ::testing::AllOf(::testing::StartsWith("ArkApi/Plugins/Glyphwork/Packs/bad.json: "),
                                                     HasSubstr("ill-formed UTF-8 byte")));
  EXPECT_EQ(before, PackDocument.dump());
  EXPECT_THAT(WithoutTime(TakeConsole()), ElementsAre("31 [Glyphwork][ERR] Can't parse bad.json pack!"));
}

class HugePackTest : public ServerTest {};

TEST_F(HugePackTest, TwentyThousandEmojiLoadAndRewriteExactly) {
  constexpr int kEmoji = 20000;
  std::string names;
  for (int i = 0; i < kEmoji; ++i) names += (i ? ",\"e" : "\"e") + std::to_string(i) + "\"";
  WriteConfig(R"({"RemapEmoji": [{"Name": "e7", "Path": "/Game/Other/x.x"}]})");
  WritePack("huge.json", R"({"EmojiPath": "/Game/H/", "EmojiArray": [)" + names + "]}");
  ASSERT_TRUE(LoadPlugin());
  auto* ann = game_->Join("Ann", "id-Ann");
  // The first of two same names wins; the last name of the pack works; a
  // name past the pack is left as typed.
  EXPECT_EQ(Img("/Game/H/e7.e7") + " " + Img("/Game/H/e19999.e19999") + " :e20000:",
            Deliver(ann, ":e7: :e19999: :e20000:"));
}

}  // namespace
}  // namespace glyphwork::testing
