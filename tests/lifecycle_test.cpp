// Loading and unloading the real plugin library through the stand-in host.
#include <gmock/gmock.h>

#include "common/engine_text.h"
#include "common/regex.h"
#include "tests/chat_fixture.h"
#include "tests/server_fixture.h"

namespace glyphwork::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::string kHook = "AShooterPlayerController.ClientChatMessage(FPrimalChatMessage)";
const std::string kWorldEnd = "AShooterGameMode.EndPlay(EEndPlayReason::Type)";

class LifecycleTest : public ServerTest {
 protected:
  void* OriginalChat() { return GetAddress(kHook); }
  bool Hooked() { return standin::HookEntry(kHook) != OriginalChat(); }
};

// Host log lines without their date and time.
std::vector<std::string> Undated(const std::vector<std::string>& lines) {
  static const std::regex date(R"(^\d\d/\d\d/\d\d \d\d:\d\d )");
  std::vector<std::string> out;
  for (const auto& line : lines) out.push_back(std::regex_replace(line, date, ""));
  return out;
}

TEST_F(LifecycleTest, PluginInitRegistersInOrderAndPluginUnloadLeavesNothingBehind) {
  WriteConfig(R"({"Usage": {"Enabled": true, "FlushSeconds": 3600}})");
  Write(PluginDir() / "Packs/.keep/x", "");  // an empty Packs folder but for a subfolder
  Write(PluginDir() / "PluginInfo.json", R"({"FullName": "Glyphwork emoji", "Version": 1.25})");
  for (const bool timer_ran : {true, false}) {
    const int threads = standin::ProcessThreads();
    ASSERT_TRUE(LoadPlugin());
    const std::string module = standin::PluginModulePath("Glyphwork");
    EXPECT_TRUE(std::filesystem::path(module).is_absolute()) << module;
    EXPECT_TRUE(std::filesystem::equivalent(PathFromUtf8(module), InstalledPluginPath())) << module;
    // Nothing happens before the host calls Plugin_Init: the library's load
    // notification does no work of the plugin's.
    // The reload commands first, so that a start that fails can be repaired.
    EXPECT_THAT(standin::TakeEvents(),
                ElementsAre("Plugin_Init Glyphwork", "AddRconCommand Glyphwork.Reload",
                            "AddConsoleCommand Glyphwork.Reload", "DelayExecuteInternal 0 " + module + "_0 " + module,
                            "SetHook " + kHook, "SetHook " + kWorldEnd, "AddRconCommand Glyphwork.Usage",
                            "AddConsoleCommand Glyphwork.Usage", "AddOnTickCallback Glyphwork.Usage"));
    EXPECT_TRUE(Hooked());
    EXPECT_EQ("[AsaApi][info] Loaded plugin Glyphwork emoji V1.25 (No description)", Undated({LoadedLine()})[0]);
    // The host stops every other thread while hooks change: the usage
    // writer starts after them, from the timer, and ends before they go.
    EXPECT_THAT(standin::TakeThreadsAtHookChanges(), ElementsAre(threads, threads));
    if (timer_ran) {
      EXPECT_EQ(1, standin::RunTimers());
      EXPECT_EQ(threads + 1, standin::ProcessThreads());
    }

    ASSERT_TRUE(standin::UnloadPlugin("Glyphwork"));
    std::vector<std::string> expected = {"Plugin_Unload Glyphwork",
                                         "RemoveRconCommand Glyphwork.Usage",
                                         "RemoveConsoleCommand Glyphwork.Usage",
                                         "RemoveOnTickCallback Glyphwork.Usage",
                                         "DisableHook " + kWorldEnd,
                                         "DisableHook " + kHook,
                                         "RemoveRconCommand Glyphwork.Reload",
                                         "RemoveConsoleCommand Glyphwork.Reload"};
    // The live SDK has no way to take back a delayed call: the host drops it.
    if (!timer_ran) expected.push_back("left behind by Glyphwork: timer " + module + "_0");
    EXPECT_THAT(standin::TakeEvents(), ::testing::ElementsAreArray(expected));
    EXPECT_THAT(standin::TakeThreadsAtHookChanges(), ElementsAre(threads, threads));
    EXPECT_THAT(standin::Registrations(), IsEmpty());
    EXPECT_FALSE(Hooked());
    auto* player = game_->Join("Ann", "1");
    EXPECT_FALSE(standin::ExecuteConsoleCommand(player, "Glyphwork.Reload"));
    game_->Leave("Ann");
  }
}

TEST_F(LifecycleTest, AFailedStartKeepsOnlyTheReloadCommandsUntilAReloadAfterTheFixStartsEverything) {
  const std::regex host_line(R"(\d\d/\d\d/\d\d \d\d:\d\d \[Glyphwork\]\[error\] (.*))");
  const std::string not_running =
      "Glyphwork is not running: fix the file named above, then Glyphwork.Reload on the game console or over RCON "
      "starts it";
  struct Case {
    const char* config;  // nullptr: no file
    const char* pack;    // nullptr: no pack
    std::string expected;
  };
  for (const Case& c :
       {Case{nullptr, nullptr, "ArkApi/Plugins/Glyphwork/config.json: Can't open config.json"},
        Case{"{\"UsePermissions\": tru}", nullptr,
             "ArkApi/Plugins/Glyphwork/config.json: [json.exception.parse_error.101] parse error at line 1, column 23: "
             "syntax error while parsing value - invalid literal; last read: '\"UsePermissions\": tru}'"},
        Case{"{}", "not json",
             "ArkApi/Plugins/Glyphwork/Packs/b.json: [json.exception.parse_error.101] parse error at line 1, column 2: "
             "syntax error while parsing value - invalid literal; last read: 'no'"}}) {
    std::filesystem::remove_all(PluginDir() / "config.json");
    std::filesystem::remove_all(PluginDir() / "Packs");
    if (c.config) WriteConfig(c.config);
    WritePack("a.json", R"({"EmojiPath": "/Game/A/", "EmojiArray": ["x"]})");
    WriteContent("A/x");
    if (c.pack) WritePack("b.json", c.pack);
    // Plugin_Init cannot tell the host it failed: the host says the plugin
    // loaded, so the plugin says it is not running, and how to start it.
    EXPECT_TRUE(LoadPlugin());
    std::vector<std::string> plugin_lines;
    for (const auto& line : TakeHostLog()) {
      std::smatch match;
      if (std::regex_match(line, match, host_line)) plugin_lines.push_back(match[1]);
    }
    EXPECT_THAT(plugin_lines, ElementsAre(c.expected, not_running));
    EXPECT_THAT(LoadedLine(), ::testing::HasSubstr("Loaded plugin Glyphwork"));
    const std::string module = standin::PluginModulePath("Glyphwork");
    EXPECT_THAT(
        standin::Registrations(),
        ::testing::UnorderedElementsAre("console Glyphwork.Reload", "rcon Glyphwork.Reload", "timer " + module + "_0"));
    EXPECT_FALSE(Hooked());
    EXPECT_EQ(1, standin::RunTimers());  // no textures to load
    TakeConsole();
    auto* ann = game_->Join("Ann", "1");
    EXPECT_EQ(":x:", Deliver(ann, ":x:"));

    // The fix, then the reload: hook, textures and list as at a good start.
    WriteConfig(R"({"EmojiListCommand": "/emojis"})");
    std::filesystem::remove(PluginDir() / "Packs/b.json");
    EXPECT_TRUE(standin::ExecuteConsoleCommand(ann, "Glyphwork.Reload"));
    EXPECT_TRUE(Hooked());
    EXPECT_EQ(Img("/Game/A/x.x"), Deliver(ann, ":x:"));
    EXPECT_THAT(WithoutTime(TakeConsole()), ::testing::Contains("36 [Glyphwork] Loaded 1 new object(s)!"));
    EXPECT_THAT(standin::Registrations(), ::testing::Contains("chat /emojis"));
    game_->Leave("Ann");
    ASSERT_TRUE(standin::UnloadPlugin("Glyphwork"));
    EXPECT_THAT(standin::Registrations(), IsEmpty());
  }
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
    // The host matches command names with letter case ignored; over RCON
    // only for a connection that logged in.
    packet.Body = FString("glyphwork.reload");
    EXPECT_FALSE(standin::ExecuteRconCommand(&connection, &packet, false));
    EXPECT_TRUE(standin::ExecuteRconCommand(&connection, &packet));
    ASSERT_EQ(1u, connection.replies.size());
    EXPECT_EQ("Reloaded Config!", connection.replies[0].text);
    ann->direct.clear();
    FString line("glyphwork.RELOAD now");
    EXPECT_TRUE(standin::ExecuteConsoleCommand(ann, &line));
    EXPECT_TRUE(line.IsEmpty()) << "the game's own console handler gets an emptied line";
    ASSERT_EQ(1u, ann->direct.size());
    EXPECT_EQ("Reloaded Config!", ann->direct.back().text);
    packet.Body = FString();
    ASSERT_TRUE(standin::UnloadPlugin("Glyphwork"));
    EXPECT_EQ(0, game_->malformed_records);
  }
  EXPECT_EQ(before, standin::Game::LiveAllocations());
}

}  // namespace
}  // namespace glyphwork::testing
