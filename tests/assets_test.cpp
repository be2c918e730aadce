// Emoji asset loading through the loaded plugin, the stand-in host's timer and
// the stand-in game's content.
#include <gmock/gmock.h>

#include "tests/core_fixture.h"

namespace glyphwork::testing {
namespace {

namespace fs = std::filesystem;

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class AssetsTest : public ServerTest {
 protected:
  // Loads the plugin and runs the start-up asset loading; its console lines.
  std::vector<std::string> StartUp() {
    fs::create_directories(PluginDir() / "Packs");
    EXPECT_TRUE(LoadPlugin());
    EXPECT_THAT(TakeConsole(), IsEmpty());
    EXPECT_THAT(game_->load_requests, IsEmpty()) << "nothing loads during Load";
    EXPECT_EQ(1, standin::RunTimers());
    return WithoutTime(TakeConsole());
  }

  // A reload over RCON that must succeed; its console lines.
  std::vector<std::string> Reload() {
    RCONClientConnection connection;
    RCONPacket packet;
    packet.Body = FString("Glyphwork.Reload");
    EXPECT_TRUE(standin::ExecuteRconCommand(&connection, &packet));
    EXPECT_EQ(1u, connection.replies.size());
    for (const auto& reply : connection.replies) EXPECT_EQ("Reloaded Config!", reply.text);
    return WithoutTime(TakeConsole());
  }

  void Reset() {
    standin::UnloadPlugin("Glyphwork");
    // Not all of ShooterGame/: the host keeps its log file open in there.
    fs::remove_all(Root() / standin::kContentFolder);
    fs::remove_all(PluginDir() / "Packs");
    game_->load_requests.clear();
    TakeConsole();
    TakeHostLog();
  }
};

const std::string kRemapArk = R"({"RemapEmoji": [{"Name": "ark", "Path": "/Game/Custom/ArkLogo.ArkLogo"}]})";

TEST_F(AssetsTest, ConsoleSummaryForNothingAllSomeAndNoneLoaded) {
  struct Case {
    std::string config;
    std::vector<std::string> content;
    std::vector<std::string> console;
  };
  const std::vector<Case> cases = {
      {"{}", {}, {"37 [Glyphwork] There's no mapped emoji in config.json, try to map some!"}},
      {kRemapArk, {"E/smile", "E/wink", "Custom/ArkLogo"}, {"36 [Glyphwork] Loaded 3 new object(s)!"}},
      {kRemapArk,
       {"E/smile"},
       {"31 [Glyphwork][ERR] Invalid Path: /Game/E/wink.wink",
        "31 [Glyphwork][ERR] Invalid Path: /Game/Custom/ArkLogo.ArkLogo",
        "33 [Glyphwork] Warning! Failed to load 2 object(s).",
        "33 [Glyphwork] They're going to be displayed as white square in chat.",
        "36 [Glyphwork] Loaded 1 new object(s)!"}},
      {kRemapArk,
       {},
       {"31 [Glyphwork][ERR] Invalid Path: /Game/E/smile.smile", "31 [Glyphwork][ERR] Invalid Path: /Game/E/wink.wink",
        "31 [Glyphwork][ERR] Invalid Path: /Game/Custom/ArkLogo.ArkLogo",
        "33 [Glyphwork] Warning! Failed to load 3 object(s).",
        "33 [Glyphwork] They're going to be displayed as white square in chat.",
        "31 [Glyphwork][ERR] Failed to load all mapped objects!"}},
  };
  for (const Case& c : cases) {
    WriteConfig(c.config);
    if (c.config != "{}") {
      WritePack("b.json", R"({"EmojiPath": "/Game/E/", "EmojiArray": ["wink"]})");
      WritePack("a.json", R"({"EmojiPath": "/Game/E/", "EmojiArray": ["smile"]})");
    }
    for (const auto& content : c.content) WriteContent(content);
    EXPECT_EQ(c.console, StartUp()) << c.config;
    const std::vector<std::string> asked = game_->load_requests;
    if (c.config != "{}") {
      EXPECT_THAT(asked, ElementsAre("/Game/E/smile.smile", "/Game/E/wink.wink", "/Game/Custom/ArkLogo.ArkLogo"));
    }
    // A second run with the same files asks for everything again, and counts the same.
    game_->load_requests.clear();
    EXPECT_EQ(c.console, Reload()) << c.config;
    EXPECT_EQ(asked, game_->load_requests);
    EXPECT_THAT(TakeHostLog(), IsEmpty());
    Reset();
  }
}

TEST_F(AssetsTest, ObjectPathsJoinEmojiPathAndNameAsTheyStand) {
  WritePack("a.json", R"({"EmojiPath": "/Game/Emojis/", "EmojiArray": ["smile"]})");
  WritePack("b.json", R"({"EmojiPath": "/Game/Emojis", "EmojiArray": ["smile"]})");
  WritePack("c.json", R"({"EmojiArray": "solo"})");
  WritePack("d.json", "{\"EmojiPath\": \"/Game/\xC3\x89mojis/\", \"EmojiArray\": [\"\xC3\xBC\"]}");
  // Without Path: failed without asking the engine. Without Name: loads.
  WriteConfig(R"({"RemapEmoji": [{"Name": "nopath"}, {"Path": "/Game/Emojis/smile.smile"}]})");
  WriteContent("Emojis/smile");
  WriteContent("\xC3\x89mojis/\xC3\xBC");
  EXPECT_THAT(StartUp(),
              ElementsAre("31 [Glyphwork][ERR] Invalid Path: /Game/Emojissmile.smile",
                          "31 [Glyphwork][ERR] Invalid Path: solo.solo",
                          "31 [Glyphwork][ERR] Invalid Path: ", "33 [Glyphwork] Warning! Failed to load 3 object(s).",
                          "33 [Glyphwork] They're going to be displayed as white square in chat.",
                          "36 [Glyphwork] Loaded 3 new object(s)!"));
  EXPECT_THAT(game_->load_requests, ElementsAre("/Game/Emojis/smile.smile", "/Game/Emojissmile.smile", "solo.solo",
                                                "/Game/\xC3\x89mojis/\xC3\xBC.\xC3\xBC", "/Game/Emojis/smile.smile"));
  EXPECT_EQ(0, standin::RunTimers());  // the start-up run happens once
}

TEST_F(AssetsTest, ATypeErrorInTheStartUpRunIsLoggedAndTheServerGoesOn) {
  struct Case {
    std::string config;
    std::string pack;  // empty: none
    std::string error;
    std::vector<std::string> asked;
    std::vector<std::string> console;
  };
  const std::string smile = R"({"EmojiPath": "/Game/E/", "EmojiArray": ["smile"]})";
  const std::string config = "ArkApi/Plugins/Glyphwork/config.json: ", pack = "ArkApi/Plugins/Glyphwork/Packs/a.json: ";
  const std::vector<Case> cases = {
      {R"({"RemapEmoji": [{"Path": "/Game/E/nope.nope"}, 7]})",
       smile,
       config + "RemapEmoji[1]: expected an object, found a number",
       {"/Game/E/smile.smile", "/Game/E/nope.nope"},
       {"31 [Glyphwork][ERR] Invalid Path: /Game/E/nope.nope"}},
      {"{}",
       R"({"EmojiPath": "/Game/E/", "EmojiArray": ["smile", 1]})",
       pack + "EmojiArray[1]: expected a string, found a number",
       {"/Game/E/smile.smile"},
       {}},
      {"{}", R"({"EmojiPath": 5})", pack + "EmojiPath: expected a string, found a number", {}, {}},
      {"{}", R"(["smile"])", pack + "expected an object at the top level, found a list", {}, {}},
      // Name is looked up before Path is loaded.
      {R"({"RemapEmoji": {"b": {"Path": "/Game/E/smile.smile", "Name": null}}})",
       "",
       config + "RemapEmoji.b.Name: expected a string, found null",
       {},
       {}},
      {"[]", "", config + "expected an object at the top level, found a list", {}, {}},
  };
  for (const Case& c : cases) {
    WriteConfig(c.config);
    if (!c.pack.empty()) WritePack("a.json", c.pack);
    WriteContent("E/smile");
    EXPECT_EQ(c.console, StartUp()) << c.error;  // no summary
    EXPECT_EQ(c.asked, game_->load_requests) << c.error;
    EXPECT_THAT(WithoutDate(TakeHostLog()), ElementsAre("[Glyphwork][error] Failed to load emoji assets! " + c.error));
    // Still loaded and answering.
    EXPECT_TRUE(AsaApi::Tools::IsPluginLoaded("Glyphwork"));
    // A reload of the same files fails before anything is loaded again.
    game_->load_requests.clear();
    RCONClientConnection connection;
    RCONPacket packet;
    packet.Body = FString("Glyphwork.Reload");
    EXPECT_TRUE(standin::ExecuteRconCommand(&connection, &packet));
    EXPECT_THAT(WithoutDate(TakeHostLog()), ElementsAre("[Glyphwork][error] Failed to read config! " + c.error));
    EXPECT_THAT(game_->load_requests, IsEmpty()) << c.error;
    Reset();
  }
}

}  // namespace
}  // namespace glyphwork::testing
