// Names beyond ASCII: packs, textures and the server folder itself. Windows
// names files in UTF-16, Linux in bytes; the plugin must read the same files,
// in the same order, and name them in the same lines on both.
#include <gmock/gmock.h>

#include <fstream>

#include "platform/platform.h"
#include "standin/permissions/permissions.h"
#include "tests/chat_fixture.h"
#include "tests/core_fixture.h"

namespace glyphwork::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class FileNamesTest : public ServerTest {
 protected:
  FileNamesTest() { root_suffix_ = " Sérveur ü Île"; }

  void SetUp() override {
    ServerTest::SetUp();
    WriteConfig(R"({"RemapEmoji": [{"Name": "ark", "Path": "/Game/Çustom/Ärk.Ärk"}]})");
    // By UTF-8 bytes ｚ (U+FF5A) comes before 😀 (U+1F600); by UTF-16 units
    // it comes after, so a scan sorted by Windows' own names reorders them.
    WritePack("😀.json", R"({"EmojiPath": "/Game/Astral/", "EmojiArray": ["same"]})");
    WritePack("ｚ.json", R"({"EmojiPath": "/Game/Wide/", "EmojiArray": ["same"]})");
    WritePack("日本.json", R"({"EmojiPath": "/Game/日本/", "EmojiArray": ["富士", "富士山"]})");
    WritePack("ü.json", R"({"EmojiPath": "/Game/Émoji/", "EmojiArray": ["ü"]})");
    WritePack("a b.json", R"({"EmojiPath": "/Game/E/", "EmojiArray": ["smile"]})");
    for (const char* content : {"Émoji/ü", "E/smile", "日本/富士", "Wide/same", "Astral/same", "Çustom/Ärk"}) {
      WriteContent(content);
    }
  }

  // The last line of the host's log file in the server folder.
  std::string LastLogFileLine() {
    std::ifstream file(HostLogFile());
    std::string line, last;
    while (std::getline(file, line)) last = line;
    return last;
  }

  // A reload over RCON; its reply.
  std::string Reload() {
    RCONClientConnection connection;
    RCONPacket packet;
    packet.Body = FString("Glyphwork.Reload");
    EXPECT_TRUE(standin::ExecuteRconCommand(&connection, &packet));
    return connection.replies.size() == 1 ? connection.replies[0].text
                                          : "replies: " + std::to_string(connection.replies.size());
  }
};

const std::vector<std::string> kLoadOrder = {
    "/Game/E/smile.smile",  "/Game/Émoji/ü.ü",        "/Game/日本/富士.富士", "/Game/日本/富士山.富士山",
    "/Game/Wide/same.same", "/Game/Astral/same.same", "/Game/Çustom/Ärk.Ärk"};

TEST_F(FileNamesTest, PacksAndTexturesLoadFromTheirOwnNamesInUtf8Order) {
  ASSERT_TRUE(LoadPlugin());
  EXPECT_THAT(TakeHostLog(), IsEmpty());
  // The plugin was loaded from, and reports, its file in this server folder.
  const std::string module = standin::PluginModulePath("Glyphwork");
  EXPECT_TRUE(std::filesystem::equivalent(PathFromUtf8(module), InstalledPluginPath())) << module;
  EXPECT_EQ(1, standin::RunTimers());
  EXPECT_EQ(kLoadOrder, game_->load_requests);
  EXPECT_THAT(WithoutTime(TakeConsole()),
              ElementsAre("31 [Glyphwork][ERR] Invalid Path: /Game/日本/富士山.富士山",
                          "33 [Glyphwork] Warning! Failed to load 1 object(s).",
                          "33 [Glyphwork] They're going to be displayed as white square in chat.",
                          "36 [Glyphwork] Loaded 6 new object(s)!"));
  auto* ann = game_->Join("Ann", "1");
  // The first pack that names an emoji wins: ｚ.json's.
  EXPECT_EQ(Img("/Game/Émoji/ü.ü") + Img("/Game/E/smile.smile") + " " + Img("/Game/日本/富士.富士") + " " +
                Img("/Game/Wide/same.same") + " " + Img("/Game/Çustom/Ärk.Ärk"),
            Deliver(ann, ":ü::smile: :富士: :same: :ark:"));
}

TEST_F(FileNamesTest, AReloadReadsThemAgainAndNamesThemInUtf8) {
  ASSERT_TRUE(LoadPlugin());
  standin::RunTimers();
  TakeConsole();
  WritePack("ñandú.json", R"({"EmojiPath": "/Game/Ñ/", "EmojiArray": ["ñ"]})");
  WriteContent("Ñ/ñ");
  game_->load_requests.clear();
  EXPECT_EQ("Reloaded Config!", Reload());
  std::vector<std::string> order = kLoadOrder;
  order.insert(order.begin() + 1, "/Game/Ñ/ñ.ñ");
  EXPECT_EQ(order, game_->load_requests);
  auto* ann = game_->Join("Ann", "1");
  EXPECT_EQ(Img("/Game/Ñ/ñ.ñ"), Deliver(ann, ":ñ:"));
  TakeConsole();

  // A pack that does not parse is named in every line, console, host log and
  // its file, and the packs in effect stay.
  WritePack("ø broken.json", "not json");
  EXPECT_EQ("", Reload());
  const std::string error =
      "[Glyphwork][error] Failed to read config! ArkApi/Plugins/Glyphwork/Packs/ø broken.json: "
      "[json.exception.parse_error.101] parse error at line 1, column 2: syntax error while parsing value - invalid "
      "literal; last read: 'no'";
  EXPECT_THAT(WithoutDate(TakeHostLog()), ElementsAre(error));
  EXPECT_THAT(LastLogFileLine(), ::testing::EndsWith(" " + error));
  EXPECT_THAT(WithoutTime(TakeConsole()), ElementsAre("31 [Glyphwork][ERR] Can't parse ø broken.json pack!"));
  EXPECT_EQ(Img("/Game/Ñ/ñ.ñ"), Deliver(ann, ":ñ:"));
}

// The host's FString(const char*) widens bytes: every text beyond ASCII that
// the plugin hands the host or the game must go in decoded.
TEST_F(FileNamesTest, GroupsTheListCommandAndNamesBeyondAsciiReachPlayersIntact) {
  std::filesystem::remove_all(PluginDir() / "Packs");
  WriteConfig(R"({"UsePermissions": true, "PermissionsGroups": ["Élite"], "EmojiListCommand": "/émojis",
                  "RemapEmoji": [{"Name": "ark", "Path": "/Game/Çustom/Ärk.Ärk"}]})");
  WritePack("ü.json", R"({"EmojiPath": "/Game/Émoji/", "EmojiArray": ["ü", "café"], "Groups": ["Ünïcorn"]})");
  WritePack("日本.json", R"({"EmojiPath": "/Game/日本/", "EmojiArray": ["富士"]})");
  WriteContent("Émoji/café");
  std::string error;
  EXPECT_NE(nullptr, platform::FindIsPlayerInGroup(&error)) << "found by the library's own name: " << error;
  ASSERT_TRUE(LoadPlugin());
  EXPECT_THAT(standin::TakeEvents(), ::testing::Contains("AddChatCommand /émojis"));
  auto* ann = game_->Join("Ann", "1");
  auto* bob = game_->Join("Bob", "2");
  Permissions::StandIn::AddToGroup("1", "Élite");
  Permissions::StandIn::AddToGroup("1", "Ünïcorn");
  Permissions::StandIn::AddToGroup("2", "Élite");
  EXPECT_EQ(Img("/Game/Émoji/café.café") + " ü " + Img("/Game/Çustom/Ärk.Ärk"), Deliver(ann, ":café: ü :ark:"));
  EXPECT_EQ(":café: ü " + Img("/Game/Çustom/Ärk.Ärk"), Deliver(bob, ":café: ü :ark:"));
  EXPECT_THAT(Permissions::StandIn::TakeChecks(),
              ::testing::IsSupersetOf({"1|Élite", "1|Ünïcorn", "2|Élite", "2|Ünïcorn"}));

  // Each pack by its file's name, as the file system has it; the filter
  // ignores the case of letters beyond ASCII here too.
  const auto ask = [&](const std::string& line) {
    ann->direct.clear();
    standin::AdvanceGameClock(1);
    EXPECT_EQ(standin::ChatOutcome::kTaken, game_->Say("Ann", line));
    std::vector<std::string> lines;
    for (const auto& message : ann->direct) lines.push_back(message.sender + ": " + message.text);
    return lines;
  };
  const std::string cafe = "Server: ü: :ü: " + Img("/Game/Émoji/ü.ü") + " :café: " + Img("/Game/Émoji/café.café");
  EXPECT_THAT(ask("/émojis"),
              ElementsAre("Server: Emoji you can use:", cafe, "Server: 日本: :富士: " + Img("/Game/日本/富士.富士"),
                          "Server: RemapEmoji: :ark: " + Img("/Game/Çustom/Ärk.Ärk")));
  EXPECT_THAT(ask("/émojis CAFÉ"), ElementsAre("Server: Emoji you can use matching \"CAFÉ\":",
                                               "Server: ü: :café: " + Img("/Game/Émoji/café.café")));
  ASSERT_TRUE(standin::UnloadPlugin("Glyphwork"));
  EXPECT_THAT(standin::TakeEvents(), ::testing::Contains("RemoveChatCommand /émojis"));
  EXPECT_THAT(standin::Registrations(), IsEmpty());
}

}  // namespace
}  // namespace glyphwork::testing
