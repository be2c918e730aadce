// The stand-in host and game: what the plugin relies on them for.
#include <gmock/gmock.h>

#include "plugin/api/game.h"
#include "standin/permissions/permissions.h"
#include "tests/server_fixture.h"

namespace glyphwork::testing {
namespace {

using AsaApi::Tools::Utf8Decode;
using AsaApi::Tools::Utf8Encode;

std::wstring Wide(std::u32string code_points) { return std::wstring(code_points.begin(), code_points.end()); }

TEST(Utf8Test, WellFormedTextRoundTripsExactly) {
  for (const std::string text : {"", "plain", "ünïcödé", "日本語", "emoji 😀 and 𝄞", "\x7f\xc2\x80\xef\xbf\xbf",
                                 "\xf4\x8f\xbf\xbf"}) {
    EXPECT_EQ(text, Utf8Encode(Utf8Decode(text))) << text;
    EXPECT_EQ(text, standin::Narrow(FString(text.c_str()))) << text;
  }
}

TEST(Utf8Test, IllFormedInputBecomesReplacementCharacters) {
  const std::string fffd = "\xef\xbf\xbd";
  struct Case {
    std::string in, out;
  };
  for (const Case& c : {Case{"\x80", fffd}, Case{"a\xc3", "a" + fffd}, Case{"\xe2\x82", fffd},
                        Case{"\xe2\x82x", fffd + "x"}, Case{"\xc0\xaf", fffd + fffd},
                        Case{"\xed\xa0\x80", fffd + fffd + fffd},  // an encoded surrogate
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
    FString text("a😀");
    ASSERT_EQ(3, text.Len());  // 'a' and a surrogate pair
    EXPECT_EQ(u'a', text.Units()[0]);
    EXPECT_EQ(char16_t(0xD83D), text.Units()[1]);
    EXPECT_EQ(char16_t(0xDE00), text.Units()[2]);
    EXPECT_EQ(0, text.Units()[3]);
    FString copy = text;
    FString moved = std::move(copy);
    EXPECT_TRUE(copy.IsEmpty());
    EXPECT_EQ("a😀", standin::Narrow(moved));
    moved = text;
    moved = FString();
    EXPECT_TRUE(FString("").IsEmpty());
    EXPECT_TRUE(FString(static_cast<const char*>(nullptr)).IsEmpty());
    EXPECT_EQ(before + 1, standin::Game::LiveAllocations());
  }
  EXPECT_EQ(before, standin::Game::LiveAllocations());
}

class HostTest : public ServerTest {};

TEST_F(HostTest, TimerRunsLaterFromTheLoopAndSurvivesAThrowingCallback) {
  std::vector<std::string> ran;
  API::Timer::Get().DelayExecuteInternal([&] { ran.push_back("first"); }, 0, FString("id_0"), FString("m"));
  API::Timer::Get().DelayExecuteInternal([&]() { throw std::runtime_error("boom"); }, 0, FString("bad_0"),
                                         FString("m"));
  API::Timer::Get().DelayExecuteInternal([&] { ran.push_back("later"); }, 3600, FString("late_0"), FString("m"));
  EXPECT_TRUE(ran.empty());  // never inside the scheduling call
  EXPECT_EQ(2, standin::RunTimers());
  EXPECT_THAT(ran, ::testing::ElementsAre("first"));
  const auto log = TakeHostLog();
  ASSERT_EQ(1u, log.size());
  EXPECT_THAT(log[0], ::testing::HasSubstr("bad_0 failed: boom"));
  EXPECT_EQ(0, standin::RunTimers());
  EXPECT_EQ(1u, standin::PendingTimers());
}

void (*first_entry)(AShooterPlayerController*, FPrimalChatMessage) = nullptr;
void (*second_entry)(AShooterPlayerController*, FPrimalChatMessage) = nullptr;
void FirstDetour(AShooterPlayerController* c, FPrimalChatMessage m) {
  m.Message = FString((standin::Narrow(m.Message) + "1").c_str());
  first_entry(c, std::move(m));
}
void SecondDetour(AShooterPlayerController* c, FPrimalChatMessage m) {
  m.Message = FString((standin::Narrow(m.Message) + "2").c_str());
  second_entry(c, std::move(m));
}

TEST_F(HostTest, HooksSeeEveryCallUntilRemoved) {
  auto* ann = game_->Join("Ann", "1");
  auto& hooks = AsaApi::GetHooks();
  const std::string target = game::kClientChatMessage;
  ASSERT_TRUE(hooks.InstallHook(target, reinterpret_cast<void*>(&FirstDetour), reinterpret_cast<void**>(&first_entry)));
  EXPECT_EQ("x1", Deliver(ann, "x"));
  ASSERT_TRUE(
      hooks.InstallHook(target, reinterpret_cast<void*>(&SecondDetour), reinterpret_cast<void**>(&second_entry)));
  EXPECT_EQ("x21", Deliver(ann, "x"));
  ASSERT_TRUE(hooks.RemoveHook(target, reinterpret_cast<void*>(&FirstDetour)));
  EXPECT_EQ("x2", Deliver(ann, "x"));
  ASSERT_TRUE(hooks.RemoveHook(target, reinterpret_cast<void*>(&SecondDetour)));
  EXPECT_EQ("x", Deliver(ann, "x"));
  EXPECT_FALSE(hooks.RemoveHook(target, reinterpret_cast<void*>(&SecondDetour)));
}

TEST_F(HostTest, ContentLoadsOnlyExistingAssetsWithMatchingNames) {
  WriteContent("Emojis/smile");
  UClass* asset_class = game::StreamableRenderAssetStaticClass();
  auto load = [&](const wchar_t* path) {
    return game::StaticLoadObject(asset_class, nullptr, path, nullptr, 0, nullptr, true, nullptr) != nullptr;
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
    return game::StaticLoadObject(asset_class, nullptr, path, nullptr, 0, nullptr, true, nullptr);
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
