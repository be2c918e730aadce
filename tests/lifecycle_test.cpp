// Loading and unloading the real plugin library through the stand-in host.
#include <gmock/gmock.h>

#include <regex>

#include "plugin/api/game.h"
#include "tests/server_fixture.h"

namespace glyphwork::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::string kHook = "AShooterPlayerController.ClientChatMessage(FPrimalChatMessage)";

class LifecycleTest : public ServerTest {
 protected:
  void* OriginalChat() { return GetAddress(kHook); }
  bool Hooked() { return standin::HookEntry(kHook) != OriginalChat(); }
};

TEST_F(LifecycleTest, LoadRegistersInOrderAndUnloadRemovesInOrder) {
  WriteConfig("{}");
  Write(PluginDir() / "Packs/.keep/x", "");  // an empty Packs folder but for a subfolder
  ASSERT_TRUE(LoadPlugin());
  const std::string module = standin::PluginModulePath("Glyphwork");
  EXPECT_TRUE(std::filesystem::path(module).is_absolute()) << module;
  EXPECT_TRUE(std::filesystem::equivalent(PathFromUtf8(module), InstalledPluginPath())) << module;
  EXPECT_THAT(standin::TakeEvents(),
              ElementsAre("DelayExecuteInternal 0 " + module + "_0 " + module, "RegisterRconCommand Glyphwork.Reload",
                          "RegisterConsoleCommand Glyphwork.Reload", "InstallHook " + kHook));
  EXPECT_TRUE(Hooked());
  EXPECT_THAT(TakeHostLog(), IsEmpty());

  ASSERT_TRUE(standin::UnloadPlugin("Glyphwork"));
  EXPECT_THAT(standin::TakeEvents(), ElementsAre("UnregisterRconCommand Glyphwork.Reload",
                                                 "UnregisterConsoleCommand Glyphwork.Reload", "RemoveHook " + kHook));
  EXPECT_FALSE(Hooked());
  auto* player = game_->Join("Ann", "1");
  EXPECT_FALSE(standin::ExecuteConsoleCommand(player, "Glyphwork.Reload"));
}

TEST_F(LifecycleTest, ConfigFailureIsLoggedOnceAndLeavesNoCommandOrHook) {
  const std::regex host_line(R"(\d\d/\d\d/\d\d \d\d:\d\d \[Glyphwork\]\[error\] (.*))");
  struct Case {
    const char* config;  // nullptr: no file
    std::string expected;
  };
  for (const Case& c : {Case{nullptr, "ArkApi/Plugins/Glyphwork/config.json: Can't open config.json"},
                        Case{"{\"UsePermissions\": tru}",
                             "ArkApi/Plugins/Glyphwork/config.json: [json.exception.parse_error.101] parse error at "
                             "line 1, column 23: syntax error while "
                             "parsing value - invalid literal; last read: '\"UsePermissions\": tru}'"}}) {
    std::filesystem::remove(PluginDir() / "config.json");
    if (c.config) WriteConfig(c.config);
    EXPECT_FALSE(LoadPlugin());
    std::vector<std::string> plugin_lines;
    for (const auto& line : TakeHostLog()) {
      std::smatch match;
      if (std::regex_match(line, match, host_line)) plugin_lines.push_back(match[1]);
    }
    EXPECT_THAT(plugin_lines, ElementsAre(c.expected));
    // The host detaches a library whose attach failed: Unload asks to remove
    // what Load never added.
    EXPECT_THAT(standin::TakeEvents(), ElementsAre("UnregisterRconCommand Glyphwork.Reload",
                                                   "UnregisterConsoleCommand Glyphwork.Reload", "RemoveHook " + kHook));
    EXPECT_FALSE(Hooked());
    EXPECT_FALSE(standin::IsPluginLoaded("Glyphwork"));
    EXPECT_EQ(0u, standin::PendingTimers());
  }
}

TEST_F(LifecycleTest, FailureAfterConfigIsLoggedByTheEntryAndStillUnloadsEverything) {
  WriteConfig("{}");
  WritePack("a.json", R"({"EmojiPath": "/Game/A/", "EmojiArray": ["x"]})");
  WritePack("b.json", "not json");
  EXPECT_FALSE(LoadPlugin());
  const auto log = TakeHostLog();
  ASSERT_EQ(2u, log.size());  // the plugin's line, then the host's
  EXPECT_THAT(log[0],
              ::testing::HasSubstr(
                  "[Glyphwork][error] ArkApi/Plugins/Glyphwork/Packs/b.json: [json.exception.parse_error.101]"));
  EXPECT_THAT(log[1], ::testing::HasSubstr("Failed to load plugin Glyphwork"));
  EXPECT_THAT(standin::TakeEvents(), ElementsAre("UnregisterRconCommand Glyphwork.Reload",
                                                 "UnregisterConsoleCommand Glyphwork.Reload", "RemoveHook " + kHook));
  EXPECT_THAT(WithoutTime(TakeConsole()), ElementsAre("31 [Glyphwork][ERR] Can't parse b.json pack!"));
}

TEST_F(LifecycleTest, ThreadNotificationsChangeNothing) {
  WriteConfig("{}");
  ASSERT_TRUE(LoadPlugin());
  standin::TakeEvents();
  TakeConsole();
  EXPECT_TRUE(standin::NotifyPluginThread("Glyphwork", 2));
  EXPECT_TRUE(standin::NotifyPluginThread("Glyphwork", 3));
  EXPECT_THAT(standin::TakeEvents(), IsEmpty());
  EXPECT_THAT(TakeConsole(), IsEmpty());
  EXPECT_TRUE(Hooked());
  EXPECT_EQ(1u, standin::PendingTimers());
}

TEST_F(LifecycleTest, StartupAssetLoadingRunsOnceFromTheTimerAndNeverAfterUnload) {
  WriteConfig("{}");
  ASSERT_TRUE(LoadPlugin());
  // Packs folder missing: reported during Load, the assets wait for the timer.
  EXPECT_THAT(WithoutTime(TakeConsole()), ElementsAre("31 [Glyphwork][ERR] Packs folder doesn't exist!"));
  EXPECT_EQ(1, standin::RunTimers());
  EXPECT_THAT(WithoutTime(TakeConsole()),
              ElementsAre("37 [Glyphwork] There's no mapped emoji in config.json, try to map some!"));
  EXPECT_EQ(0, standin::RunTimers());

  ASSERT_TRUE(standin::UnloadPlugin("Glyphwork"));
  ASSERT_TRUE(LoadPlugin());
  ASSERT_TRUE(standin::UnloadPlugin("Glyphwork"));
  EXPECT_EQ(0u, standin::PendingTimers());
  EXPECT_EQ(0, standin::RunTimers());
}

TEST_F(LifecycleTest, EveryEngineBufferIsReleasedAfterLoadChatReloadAndUnload) {
  const int64_t before = standin::Game::LiveAllocations();
  WriteConfig(R"({"RemapEmoji": [{"Name": "wave", "Path": "/Game/W/wave.wave"}]})");
  WritePack("p.json", R"({"EmojiPath": "/Game/E/", "EmojiArray": ["smile"]})");
  WriteContent("E/smile");
  auto* ann = game_->Join("Ann", "1");
  for (int round = 0; round < 2; ++round) {  // a second load in the same process works too
    ASSERT_TRUE(LoadPlugin());
    standin::RunTimers();
    EXPECT_EQ(
        "<img src=\"chat.image\" path=\"/Game/E/smile.smile\"/> ünd :wave x <img src=\"chat.image\" "
        "path=\"/Game/W/wave.wave\"/>",
        Deliver(ann, ":smile: ünd :wave x :wave:"));
    game_->Say("Ann", "");
    RCONClientConnection connection;
    RCONPacket packet;
    packet.Id = 7;
    packet.Body = FString("glyphwork.reload");
    EXPECT_TRUE(standin::ExecuteRconCommand(&connection, &packet));
    ASSERT_EQ(1u, connection.replies.size());
    EXPECT_EQ("Reloaded Config!", connection.replies[0].text);
    EXPECT_TRUE(standin::ExecuteConsoleCommand(ann, "Glyphwork.Reload"));
    packet.Body = FString();
    ASSERT_TRUE(standin::UnloadPlugin("Glyphwork"));
    EXPECT_EQ(0, game_->malformed_records);
  }
  EXPECT_EQ(before, standin::Game::LiveAllocations());
}

}  // namespace
}  // namespace glyphwork::testing
