// The chat hook as the game calls it, at 0, 10, 100, 1,000 and 10,000 mapped
// emoji (10 packs plus remaps), for six kinds of message:
//   0 no colon, 1 one code, 2 five codes, 3 colons but no code,
//   4 500 bytes with 20 codes, 5 500 colons.
// ChatHook/<emoji>/<kind>            the hook, each delivery a text it has not just seen
// ChatHookSameMessage/<emoji>/<kind> the hook, the same text again to 70 players in turn (the next recipients)
// RoundTrip/<emoji>/<kind>           the floor: UTF-16 to UTF-8 and back, the new FString
// LiteralReference/<emoji>/<kind>    the plain algorithm with the same conversions
// ChatHookControls/<emoji>/<kind>    the hook with every control on (cap 10, escapes, typed markup
//                                    neutralised, half the packs behind a group the recipient is in)
// ChatHookUsage/<emoji>/<kind>,      ChatHook and ChatHookSameMessage with usage counting on (the
// ChatHookUsageSameMessage/...       writer thread running against SQLite in a scratch folder)
// ChatHookColons/<emoji>/<colons>    colon spam from 125 to 8,000 colons
// BuildRules/<emoji>                 deriving the passes after a reload
// EmojiList/<emoji>                  one page of the players' emoji list
// Every delivery copies the game's record into the call and ends in a
// trampoline that does nothing.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <vector>

#include "chat/chat_hook.h"
#include "chat/chat_rules.h"
#include "commands/emoji_list.h"
#include "common/engine_text.h"
#include "config/config.h"
#include "standin/game/game.h"
#include "standin/permissions/permissions.h"
#include "tests/reference/literal_chat.h"
#include "usage/usage.h"

namespace glyphwork {
namespace {

using json = nlohmann::json;

constexpr int kEmojiCounts[] = {0, 10, 100, 1000, 10000};
constexpr int kKinds = 6;
constexpr int kVariants = 16;

AShooterPlayerController& Recipient() {
  static AShooterPlayerController player;
  return player;
}

// N emoji: a tenth of them remapped, the rest spread over 10 packs. The names
// the messages use exist from 10 emoji on. With the controls on: a cap of 10,
// escapes, typed markup neutralised, and every other pack behind a VIP group
// the recipient is in.
void UseEmoji(int count, bool controls = false) {
  static int current = -1;
  static bool current_controls = false;
  if (current == count && current_controls == controls) return;
  current = count;
  current_controls = controls;
  const int remaps = count / 10;
  json packs = json::array();
  for (int p = 0; p < 10; ++p) {
    packs.push_back({{"EmojiPath", "/Game/Emojis/Pack" + std::to_string(p) + "/"}, {"EmojiArray", json::array()}});
  }
  for (int i = 0; i < count - remaps; ++i) packs[i % 10]["EmojiArray"].push_back("emoji" + std::to_string(i));
  json remap = json::array();
  for (int i = 0; i < remaps; ++i) {
    const std::string name = "r" + std::to_string(i);
    remap.push_back({{"Name", name}, {"Path", "/Game/Custom/" + name + "." + name}});
  }
  ConfigDocument = {{"UsePermissions", false}, {"RemapEmoji", remap}};
  if (controls) {
    ConfigDocument.update({{"MaxEmojiPerMessage", 10}, {"AllowEscape", true}, {"BlockTypedMarkup", true}});
    for (int p = 1; p < 10; p += 2) packs[p]["Groups"] = {"VIP"};
    Permissions::StandIn::AddToGroup(Recipient().unique_id, "VIP");
    Permissions::StandIn::RecordChecks(false);
  }
  PackDocument = json::object();
  if (count > 0) PackDocument["EmojiMap"] = packs;
  BumpDocumentsGeneration();
}

std::string MessageText(int kind, int variant) {
  const std::string tail = std::string(" ") + char('A' + variant);
  switch (kind) {
    case 0:
      return "Anyone up for a tame run near the volcano tonight? Bring narcotics, kibble and a saddle" + tail;
    case 1:
      return "Anyone up for a tame run near the volcano tonight :emoji3: bring narcotics, kibble, saddle" + tail;
    case 2:
      return ":emoji0: tame run :emoji5: near the volcano :r0: bring narcotics :emoji7: kibble :emoji2: saddle" + tail;
    case 3:
      return "Meet at 12:30:45 by the obelisk, map at https://example.com:8080/base?x=1 see you there" + tail;
    case 4: {
      static const char* codes[] = {":emoji0:", ":emoji1:", ":emoji2:", ":emoji3:", ":emoji4:",
                                    ":emoji5:", ":emoji6:", ":emoji7:", ":emoji8:", ":r0:"};
      std::string text;
      for (int i = 0; i < 20; ++i) text += std::string("look at this ") + codes[i % 10] + " ";
      while (text.size() < 498) text += "z";
      return text + tail;
    }
    default:
      // Colons only: the variants differ in length, 492 to 507.
      return std::string(size_t(492 + variant), ':');
  }
}

struct Deliveries {
  explicit Deliveries(int kind) {
    for (int v = 0; v < kVariants; ++v) {
      records[v].SenderName = FString("Sender");
      records[v].Message = FStringFromUtf8(MessageText(kind, v));
    }
  }
  FPrimalChatMessage records[kVariants];
};

void IgnoreDelivery(AShooterPlayerController*, FPrimalChatMessage) {}

// Usage counting on or off, as a reload turns it: on, the writer thread runs
// against an SQLite file in the host's scratch server folder.
void UseUsage(bool on) {
  static bool current = false;
  if (on == current) return;
  current = on;
  if (!on) return UseUsageSettings(std::nullopt);
  static const std::filesystem::path scratch =
      std::filesystem::temp_directory_path() / ("glyphwork-bench-usage-" + std::to_string(std::random_device()()));
  standin::StartHost({.server_dir = scratch.string(), .console_sink = false, .log_file = false});
  usage::UsageSettings settings;
  settings.enabled = true;
  settings.sqlite = scratch / "usage.sqlite3";
  settings.sqlite_shown = "usage.sqlite3";
  UseUsageSettings(settings);
  std::atexit([] {
    StopUsage();
    std::error_code ignored;
    std::filesystem::remove_all(scratch, ignored);
  });
}

__attribute__((noinline)) void RoundTripHook(AShooterPlayerController* controller, FPrimalChatMessage message) {
  const std::string text = Utf8FromFString(message.Message);
  message.Message = FStringFromUtf8(text);
  ClientChatMessageTrampoline(controller, std::move(message));
}

__attribute__((noinline)) void LiteralHook(AShooterPlayerController* controller, FPrimalChatMessage message) {
  const std::string text = Utf8FromFString(message.Message);
  const std::string rewritten =
      reference::LiteralRewrite(ConfigDocument, PackDocument, text, [](const std::string&) { return false; });
  message.Message = FStringFromUtf8(rewritten);
  ClientChatMessageTrampoline(controller, std::move(message));
}

template <game::ClientChatMessageFn Hook, bool kSameMessage, bool kControls = false, bool kUsage = false>
void Deliver(benchmark::State& state, int emoji, int kind) {
  UseEmoji(emoji, kControls);
  UseUsage(kUsage);
  ClientChatMessageTrampoline = &IgnoreDelivery;
  Deliveries deliveries(kind);
  Hook(&Recipient(), deliveries.records[0]);  // builds what the documents give, outside the timing
  unsigned next = 0;
  if (kSameMessage) {
    // One message to a server of 70 players, again and again: every 70th
    // delivery is a new message's first.
    static AShooterPlayerController players[70];
    for (auto _ : state) Hook(&players[next++ % 70], deliveries.records[0]);
  } else {
    for (auto _ : state) Hook(&Recipient(), deliveries.records[next++ % kVariants]);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * deliveries.records[0].Message.Len());
}

// Colon spam of growing length: the cost per colon stays the same.
void ColonSpam(benchmark::State& state, int emoji, int colons) {
  UseEmoji(emoji);
  UseUsage(false);
  ClientChatMessageTrampoline = &IgnoreDelivery;
  // More texts than the hook keeps results for: every delivery is a new text.
  FPrimalChatMessage records[kVariants];
  for (int v = 0; v < kVariants; ++v) records[v].Message = FString(std::string(size_t(colons + v), ':').c_str());
  ClientChatMessageHook(&Recipient(), records[1]);
  unsigned next = 0;
  for (auto _ : state) ClientChatMessageHook(&Recipient(), records[next++ % kVariants]);
  state.SetBytesProcessed(int64_t(state.iterations()) * colons);
}

void BuildRules(benchmark::State& state, int emoji) {
  UseEmoji(emoji);
  for (auto _ : state) {
    ChatRules rules(ConfigDocument, PackDocument);
    benchmark::DoNotOptimize(rules.pass_count());
  }
}

// One page of the players' emoji list, for a player who sees every pack.
void EmojiList(benchmark::State& state, int emoji) {
  UseEmoji(emoji, true);
  const ChatRules rules(ConfigDocument, PackDocument);
  ChatRules::Audience audience;
  audience.gates.assign(rules.gate_groups().size(), ChatRules::Audience::kOpen);
  for (auto _ : state) benchmark::DoNotOptimize(EmojiListPage(rules, audience, "/emojis", "", 3));
}

void RegisterAll() {
  struct Variant {
    const char* name;
    void (*run)(benchmark::State&, int, int);
  };
  const Variant variants[] = {
      {"ChatHook", &Deliver<&ClientChatMessageHook, false>},
      {"ChatHookSameMessage", &Deliver<&ClientChatMessageHook, true>},
      {"RoundTrip", &Deliver<&RoundTripHook, false>},
      {"LiteralReference", &Deliver<&LiteralHook, false>},
      {"ChatHookControls", &Deliver<&ClientChatMessageHook, false, true>},
      {"ChatHookUsage", &Deliver<&ClientChatMessageHook, false, false, true>},
      {"ChatHookUsageSameMessage", &Deliver<&ClientChatMessageHook, true, false, true>},
  };
  for (const Variant& variant : variants) {
    for (const int emoji : kEmojiCounts) {
      for (int kind = 0; kind < kKinds; ++kind) {
        const std::string name = std::string(variant.name) + "/" + std::to_string(emoji) + "/" + std::to_string(kind);
        benchmark::RegisterBenchmark(name.c_str(), variant.run, emoji, kind);
      }
    }
  }
  for (const int emoji : {10, 10000}) {
    for (const int colons : {125, 500, 2000, 8000}) {
      const std::string name = "ChatHookColons/" + std::to_string(emoji) + "/" + std::to_string(colons);
      benchmark::RegisterBenchmark(name.c_str(), &ColonSpam, emoji, colons);
    }
  }
  for (const int emoji : kEmojiCounts) {
    benchmark::RegisterBenchmark(("BuildRules/" + std::to_string(emoji)).c_str(), &BuildRules, emoji)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("EmojiList/" + std::to_string(emoji)).c_str(), &EmojiList, emoji)
        ->Unit(benchmark::kMicrosecond);
  }
}

}  // namespace

// reload_bench.cpp
void RegisterReloadBenchmarks(standin::Game* game);

}  // namespace glyphwork

int main(int argc, char** argv) {
  standin::Game game;  // the engine allocator and the game's functions
  glyphwork::RegisterAll();
  glyphwork::RegisterReloadBenchmarks(&game);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
