// The stand-in host and game: what the plugin relies on them for.
#include <Timer.h>
#include <gmock/gmock.h>

#include "common/engine_text.h"
#include "common/game_functions.h"
#include "standin/permissions/permissions.h"
#include "tests/core_fixture.h"

namespace glyphwork::testing {
namespace {

using AsaApi::Tools::Utf8Decode;
using AsaApi::Tools::Utf8Encode;

std::wstring Wide(std::u32string code_points) { return std::wstring(code_points.begin(), code_points.end()); }

TEST(Utf8Test, WellFormedTextRoundTripsExactly) {
  for (const std::string text :
       {"", "plain", "ünïcödé", "日本語", "emoji 😀 and 𝄞", "\x7f\xc2\x80\xef\xbf\xbf", "\xf4\x8f\xbf\xbf"}) {
    EXPECT_EQ(text, Utf8Encode(Utf8Decode(text))) << text;
    EXPECT_EQ(text, Utf8FromFString(FStringFromUtf8(text))) << text;
  }
}

TEST(Utf8Test, IllFormedInputBecomesReplacementCharacters) {
  const std::string fffd = "\xef\xbf\xbd";
  struct Case {
    std::string in, out;
  };
  for (const Case& c :
       {Case{"\x80", fffd}, Case{"a\xc3", "a" + fffd}, Case{"\xe2\x82", fffd}, Case{"\xe2\x82x", fffd + "x"},
        Case{"\xc0\xaf", fffd + fffd}, Case{"\xed\xa0\x80", fffd + fffd + fffd},  // an encoded surrogate
        Case{"\xf5\x80", fffd + fffd}, Case{"\xf0\x9f\x98", fffd}, Case{"\xff", fffd}}) {
    EXPECT_EQ(c.out, Utf8Encode(Utf8Decode(c.in))) << c.in;
  }
  // Lone surrogates and values past U+10FFFF in wide text.
  EXPECT_EQ(fffd + "a" + fffd, Utf8Encode(Wide({0xD800, 'a', 0xDC00})));
  if constexpr (sizeof(wchar_t) == 4) {
    EXPECT_EQ(fffd, Utf8Encode(Wide({0x110000})));
  }
}

TEST(FStringTest, UnitsAreUtf16AndCopiesMovesAndReleasesBalance) {
  const int64_t before = standin::Game::LiveAllocations();
  {
    FString text = FStringFromUtf8("a😀");
    ASSERT_EQ(3, text.Len());  // 'a' and a surrogate pair
    EXPECT_EQ(u"a\xD83D\xDE00", UnitsOf(text));
    EXPECT_EQ(0, (*text)[3]);
    // As the game's FString(char*): a byte is a unit, UTF-8 is not decoded.
    EXPECT_EQ(u"\xC3\xA9", UnitsOf(FString("\xC3\xA9")));
    FString copy = text;
    FString moved = std::move(copy);
    EXPECT_TRUE(copy.IsEmpty());
    EXPECT_EQ(u"", UnitsOf(copy));
    EXPECT_EQ("a😀", Utf8FromFString(moved));
    // From the engine's own units: every length at every alignment around
    // the blocks the terminator is looked for in.
    alignas(32) TCHAR buffer[96];
    for (size_t start = 0; start < 16; ++start) {
      for (size_t length = 0; start + length < 80; ++length) {
        std::fill(std::begin(buffer), std::end(buffer), TCHAR('x'));
        buffer[start + length] = 0;
        ASSERT_EQ(int32(length), FString(buffer + start).Len()) << start << " " << length;
      }
    }
    moved = text;
    moved = FString();
    EXPECT_TRUE(FString("").IsEmpty());
    EXPECT_TRUE(FString(static_cast<const char*>(nullptr)).IsEmpty());
    EXPECT_EQ(before + 1, standin::Game::LiveAllocations());
  }
  EXPECT_EQ(before, standin::Game::LiveAllocations());
}

class HostTest : public ServerTest {};

TEST_F(HostTest, TimerRunsLaterFromTheLoopAndAThrowingCallbackEndsTheServer) {
  std::vector<std::string> ran;
  API::Timer::Get().DelayExecute(
      FString("id_0"), [&](const std::string& word) { ran.push_back(word); }, 0, std::string("first"));
  API::Timer::Get().DelayExecute([&] { ran.push_back("later"); }, 3600);
  EXPECT_TRUE(ran.empty());  // never inside the scheduling call
  EXPECT_EQ(1, standin::RunTimers());
  EXPECT_THAT(ran, ::testing::ElementsAre("first"));
  EXPECT_EQ(0, standin::RunTimers());
  EXPECT_EQ(1u, standin::PendingTimers());
  // The module is this program, named by the template that it compiled.
  const auto events = standin::TakeEvents();
  ASSERT_EQ(2u, events.size());
  EXPECT_THAT(events[0], ::testing::MatchesRegex("DelayExecuteInternal 0 id_0 .*glyphwork_tests.*"));
  EXPECT_THAT(events[1], ::testing::MatchesRegex("DelayExecuteInternal 3600 .*glyphwork_tests.*_.+ .*"));

  // As on a live server, nothing catches what a callback throws: it ends
  // the process, with the reason in the log.
  API::Timer::Get().DelayExecute(
      FString("bad_0"), [] { throw std::runtime_error("boom"); }, 0);
  EXPECT_DEATH(standin::RunTimers(), "A timer callback \\(bad_0\\) threw: boom; the server ends");
}

// The live host's rules where a plugin meets them: command names by the first
// word with letter case ignored, chat callbacks before commands, the spam
// guard, RCON for logged-in connections, and a game function it does not
// know ending the server.
TEST_F(HostTest, CommandsAndChatFollowTheLiveHostsRules) {
  auto* ann = game_->Join("Ann", "1");
  auto* bob = game_->Join("Bob", "2");
  std::vector<std::string> heard;
  AsaApi::ICommands& commands = AsaApi::GetCommands();
  commands.AddChatCommand(FString("/Wave"), [&](AShooterPlayerController* player, FString* line, int mode, int) {
    heard.push_back(player->name + ": " + Utf8FromFString(*line) + " in mode " + std::to_string(mode));
  });
  commands.AddOnChatMessageCallback(FString("muffle"), [&](AShooterPlayerController*, FString* line, int, int, bool,
                                                           bool) { return Utf8FromFString(*line) == "shh"; });
  EXPECT_EQ(standin::ChatOutcome::kTaken, game_->Say("Ann", "/wAVE  at you", 2));
  EXPECT_EQ(standin::ChatOutcome::kDropped, game_->Say("Ann", "/wave again"));
  standin::AdvanceGameClock(0.5);
  EXPECT_EQ(standin::ChatOutcome::kDropped, game_->Say("Ann", "hi"));
  EXPECT_EQ(standin::ChatOutcome::kTaken, game_->Say("Bob", "shh"));
  standin::AdvanceGameClock(1);
  EXPECT_EQ(standin::ChatOutcome::kDeliver, game_->Say("Ann", "/waves are not the command"));
  EXPECT_THAT(heard, ::testing::ElementsAre("Ann: /wAVE  at you in mode 2"));
  EXPECT_THAT(bob->received, ::testing::ElementsAre("/waves are not the command"));
  EXPECT_TRUE(commands.RemoveChatCommand(FString("/WAVE")));
  EXPECT_FALSE(commands.RemoveChatCommand(FString("/wave")));
  EXPECT_TRUE(commands.RemoveOnChatMessageCallback(FString("muffle")));

  int runs = 0;
  commands.AddRconCommand(FString("Ping"), [&](RCONClientConnection*, RCONPacket*, UWorld*) { ++runs; });
  RCONClientConnection connection;
  RCONPacket packet;
  packet.Body = FString("PING now");
  EXPECT_FALSE(standin::ExecuteRconCommand(&connection, &packet, false)) << "not logged in";
  EXPECT_TRUE(standin::ExecuteRconCommand(&connection, &packet, true));
  EXPECT_EQ(1, runs);
  EXPECT_TRUE(commands.RemoveRconCommand(FString("ping")));
  EXPECT_THAT(standin::Registrations(), ::testing::IsEmpty());
  ann->received.clear();

  EXPECT_DEATH(GetAddress("Nobody.Knows()"), "GetAddress: the game has no function \"Nobody.Knows\\(\\)\"");
}

// Loading as the live host does: every plugin folder in order of name, a
// waiting update put in place first, PluginInfo.json read and obeyed.
TEST_F(HostTest, PluginsLoadFromTheirFoldersAsTheLiveHostLoadsThem) {
  const std::string library = "Glyphwork" + standin::PluginSuffix();
  const std::filesystem::path plugins = BinariesDir() / "ArkApi" / "Plugins";
  const auto install = [&](const std::string& folder, const std::string& file, const std::string& info) {
    std::filesystem::create_directories(plugins / folder);
    std::filesystem::copy_file(PathFromUtf8(GLYPHWORK_PLUGIN_FILE), plugins / folder / file,
                               std::filesystem::copy_options::overwrite_existing);
    if (!info.empty()) Write(plugins / folder / "PluginInfo.json", info);
  };
  WriteConfig("{}");
  // Only an update waiting beside where the library goes: it becomes the library.
  install("Glyphwork", library + ".ArkApi",
          R"({"FullName": "Emoji", "Description": "pictures", "PreventUnloading": true})");
  std::filesystem::create_directories(plugins / "Empty");
  EXPECT_EQ(1, standin::LoadAllPlugins());
  EXPECT_TRUE(std::filesystem::exists(plugins / "Glyphwork" / library));
  EXPECT_FALSE(std::filesystem::exists(plugins / "Glyphwork" / (library + ".ArkApi")));
  EXPECT_THAT(WithoutDate(TakeHostLog()),
              ::testing::ElementsAre(::testing::StartsWith("[AsaApi][error] Failed to load plugin Empty: "),
                                     "[AsaApi][info] Updated plugin Glyphwork from " + library + ".ArkApi",
                                     "[AsaApi][info] Loaded plugin Emoji V1 (pictures)"));
  EXPECT_FALSE(standin::UnloadPlugin("Glyphwork")) << "PreventUnloading";
  EXPECT_THAT(standin::LoadedPlugins(), ::testing::ElementsAre("Glyphwork"));
  TakeHostLog();
  standin::StopHost();  // the stand-in's reset between tests unloads it all the same
  standin::StartHost({.server_dir = Utf8FromPath(Root()), .console_sink = false, .extra_sinks = {}, .log_file = false});
  EXPECT_THAT(standin::LoadedPlugins(), ::testing::IsEmpty());

  Write(plugins / "Glyphwork" / "PluginInfo.json", R"({"MinApiVersion": 99})");
  EXPECT_FALSE(standin::LoadPlugin("Glyphwork"));
  Write(plugins / "Glyphwork" / "PluginInfo.json", R"({"Dependencies": ["Permissions"]})");
  EXPECT_FALSE(standin::LoadPlugin("Glyphwork"));
  EXPECT_FALSE(AsaApi::Tools::IsPluginLoaded("Glyphwork"));
}

void (*first_entry)(AShooterPlayerController*, FPrimalChatMessage) = nullptr;
void (*second_entry)(AShooterPlayerController*, FPrimalChatMessage) = nullptr;
void FirstDetour(AShooterPlayerController* c, FPrimalChatMessage m) {
  m.Message = FStringFromUtf8(Utf8FromFString(m.Message) + "1");
  first_entry(c, std::move(m));
}
void SecondDetour(AShooterPlayerController* c, FPrimalChatMessage m) {
  m.Message = FStringFromUtf8(Utf8FromFString(m.Message) + "2");
  second_entry(c, std::move(m));
}

TEST_F(HostTest, HooksSeeEveryCallUntilRemoved) {
  auto* ann = game_->Join("Ann", "1");
  auto& hooks = AsaApi::GetHooks();
  const std::string target = game::kClientChatMessage;
  ASSERT_TRUE(hooks.SetHook(target, reinterpret_cast<LPVOID>(&FirstDetour), &first_entry));
  EXPECT_EQ("x1", Deliver(ann, "x"));
  ASSERT_TRUE(hooks.SetHook(target, reinterpret_cast<LPVOID>(&SecondDetour), &second_entry));
  EXPECT_EQ("x21", Deliver(ann, "x"));
  ASSERT_TRUE(hooks.DisableHook(target, reinterpret_cast<LPVOID>(&FirstDetour)));
  EXPECT_EQ("x2", Deliver(ann, "x"));
  ASSERT_TRUE(hooks.DisableHook(target, reinterpret_cast<LPVOID>(&SecondDetour)));
  EXPECT_EQ("x", Deliver(ann, "x"));
  EXPECT_FALSE(hooks.DisableHook(target, reinterpret_cast<LPVOID>(&SecondDetour)));
  EXPECT_FALSE(hooks.SetHook("Nobody.Knows()", reinterpret_cast<LPVOID>(&FirstDetour), &first_entry));
}

TEST_F(HostTest, ContentLoadsOnlyExistingAssetsWithMatchingNames) {
  WriteContent("Emojis/smile");
  UClass* asset_class = game::StreamableRenderAssetStaticClass();
  auto load = [&](const wchar_t* path) {
    return game::StaticLoadObject(asset_class, nullptr, path, nullptr, 0, 0, true) != nullptr;
  };
  EXPECT_TRUE(load(L"/Game/Emojis/smile.smile"));
  EXPECT_FALSE(load(L"/Game/Emojis/smile.frown"));
  EXPECT_FALSE(load(L"/Game/Emojis/frown.frown"));
  EXPECT_FALSE(load(L"/Game/Emojissmile.smile"));
  EXPECT_FALSE(load(L"/Other/Emojis/smile.smile"));
  EXPECT_FALSE(load(L"/Game/Emojis/../Emojis/smile.smile"));
  EXPECT_FALSE(load(L"/Game/Emojis/smile"));
}

TEST_F(HostTest, TheGameKeepsBoundedRecordsOverManyDeliveriesAndLoads) {
  AShooterPlayerController* ann = game_->Join("Ann", "id-Ann");
  for (int i = 0; i < 10000; ++i) game_->Say("Bob", "message " + std::to_string(i));
  EXPECT_EQ(10000, ann->received.pushed());
  ASSERT_EQ(64u, ann->received.size()) << "only the latest are kept";
  EXPECT_EQ("message 9936", ann->received[0]);
  EXPECT_EQ("message 9999", ann->received.back());

  // One object per path however often it is asked for; the paths asked are
  // kept only when a test sets the game to record them.
  WriteContent("Emojis/smile");
  WriteContent("Emojis/wink");
  UClass* asset_class = game::StreamableRenderAssetStaticClass();
  auto load = [&](const wchar_t* path) {
    return game::StaticLoadObject(asset_class, nullptr, path, nullptr, 0, 0, true);
  };
  standin::Game fresh;
  EXPECT_FALSE(fresh.record_load_requests);
  const UObject* smile = load(L"/Game/Emojis/smile.smile");
  const UObject* wink = load(L"/Game/Emojis/wink.wink");
  ASSERT_NE(nullptr, smile);
  ASSERT_NE(nullptr, wink);
  EXPECT_NE(smile, wink);
  for (int i = 0; i < 1000; ++i) {
    ASSERT_EQ(smile, load(L"/Game/Emojis/smile.smile"));
    ASSERT_EQ(wink, load(L"/Game/Emojis/wink.wink"));
  }
  EXPECT_EQ("/Game/Emojis/wink.wink", wink->path);
  EXPECT_THAT(fresh.load_requests, ::testing::IsEmpty());

  // The permissions library keeps the latest checks only.
  Permissions::StandIn::Clear();
  for (int i = 0; i < 3000; ++i) Permissions::IsPlayerInGroup(FString(std::to_string(i).c_str()), FString("G"));
  const std::vector<std::string> checks = Permissions::StandIn::TakeChecks();
  ASSERT_EQ(Permissions::StandIn::kKeptChecks, checks.size());
  EXPECT_EQ("2000|G", checks.front());
  EXPECT_EQ("2999|G", checks.back());
}

}  // namespace
}  // namespace glyphwork::testing
