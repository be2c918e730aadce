// Arbitrary message text (UTF-16 units, unpaired surrogates included) against
// a configuration built from the input, with every key given a mixed type,
// through the installed hook: the game gets exactly one well-formed delivery,
// no exception leaves the hook, and the text is the plain algorithm's where
// the documents have the types it needs, else the original. With any of the
// community controls (the cap, escapes, typed markup, packs behind Groups)
// the plain controls' text, where the documents have the types they need;
// the recipient's groups come from the input. With usage counted, the
// message counts each code the plain algorithm pictured, once. Then the emoji
// list command with arbitrary words: one page of at most 8 lines under its
// header.
#include <fuzzer/FuzzedDataProvider.h>
#include <spdlog/sinks/null_sink.h>
#include <spdlog/spdlog.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>

#include "chat/chat_hook.h"
#include "commands/emoji_list.h"
#include "common/engine_text.h"
#include "config/config.h"
#include "log/log.h"
#include "standin/game/game.h"
#include "standin/host/host_control.h"
#include "standin/permissions/permissions.h"
#include "tests/reference/literal_chat.h"
#include "usage/usage.h"

namespace {

using nlohmann::json;

struct World {
  standin::Game game;
  AShooterPlayerController* player = nullptr;

  World() {
    const auto root = std::filesystem::temp_directory_path() / "glyphwork-chat-fuzz";
    standin::StartHost({.server_dir = root.string(),
                        .console_sink = false,
                        .extra_sinks = {std::make_shared<spdlog::sinks::null_sink_mt>()},
                        .log_file = false});
    spdlog::register_logger(
        std::make_shared<spdlog::logger>(glyphwork::kConsoleLogName, std::make_shared<spdlog::sinks::null_sink_mt>()));
    glyphwork::SetUpConsoleLog();
    glyphwork::InstallChatHook();
    player = game.Join("Ann", "id-Ann");
    // The hook keeps the last recipient's id once it asked about a pack's
    // groups: have it kept from the start, so that each input's engine
    // buffers can be counted.
    glyphwork::ConfigDocument = json::object();
    glyphwork::PackDocument = {{"EmojiMap", {{{"EmojiArray", {"g"}}, {"Groups", {"a"}}}}}};
    Deliver(":g:");
    Reset();
  }

  void Deliver(const std::string& text) {
    FPrimalChatMessage message;
    message.Message = glyphwork::FStringFromUtf8(text);
    glyphwork::BumpDocumentsGeneration();
    standin::Game::Deliver(player, message);
  }

  // Rules without engine strings of their own (the groups' names).
  void Reset() {
    glyphwork::ConfigDocument = json::object();
    glyphwork::PackDocument = json::object();
    glyphwork::BumpDocumentsGeneration();
    glyphwork::UseChatRules(glyphwork::BuildChatRules());
  }

  // Usage counted afresh (in an SQLite database in memory): the counts of a
  // few hundred inputs are cheap to add up.
  void RestartUsage() {
    glyphwork::StopUsage();
    glyphwork::usage::UsageSettings settings;
    settings.enabled = true;
    settings.flush_seconds = 86400;
    settings.sqlite = ":memory:";
    settings.sqlite_shown = ":memory:";
    glyphwork::UseUsageSettings(settings);
  }

  std::map<std::string, uint64_t> Counted() const {
    std::map<std::string, uint64_t> counted;
    for (const auto& [key, messages] : glyphwork::UsageTotals(INT64_MIN / 2)) {
      counted[key.code + " " + key.pack] = messages;
    }
    return counted;
  }
};

// Short texts over an alphabet where codes collide, nest and hide in markup.
std::string Text(FuzzedDataProvider& in) {
  static const char* const kPieces[] = {":", "a", "b", " ",  "é", "\"/>", "<img src=\"chat.image\" path=\"",
                                        ".", "A", "É", ":a:"};
  std::string text;
  for (size_t n = in.ConsumeIntegralInRange<size_t>(0, 4); n > 0; --n) {
    text += kPieces[in.ConsumeIntegralInRange<size_t>(0, std::size(kPieces) - 1)];
  }
  return text;
}

// A value of the expected kind most of the time, of any other kind sometimes.
json Value(FuzzedDataProvider& in, const std::function<json()>& expected) {
  switch (in.ConsumeIntegralInRange(0, 9)) {
    case 0:
      return nullptr;
    case 1:
      return in.ConsumeIntegral<int8_t>();
    case 2:
      return in.ConsumeBool();
    case 3:
      return Text(in);
    case 4:
      return json::object({{"k", Text(in)}});
    case 5:
      return json::array({Text(in), 1});
    default:
      return expected();
  }
}

json List(FuzzedDataProvider& in, const std::function<json()>& element) {
  json list = json::array();
  for (size_t n = in.ConsumeIntegralInRange<size_t>(0, 4); n > 0; --n) list.push_back(element());
  return list;
}

// Present with some value, or absent.
void Maybe(FuzzedDataProvider& in, json& object, const char* key, const std::function<json()>& expected) {
  if (in.ConsumeBool()) object[key] = Value(in, expected);
}

const char* const kGroups[] = {"", "a", "b", ":", "é"};

// A chat line for the list command: words that are pages, filters in either
// case, or neither.
std::string ListLine(FuzzedDataProvider& in) {
  static const char* const kWords[] = {"/emojis", "1", "2",  "0", "-3", "4294967296", "a",  "A", "É",
                                       "é",       "ß", "SS", ":", "  ", "\t",         "ÉA", "b:"};
  std::string line;
  for (size_t n = in.ConsumeIntegralInRange<size_t>(0, 5); n > 0; --n) {
    line += kWords[in.ConsumeIntegralInRange<size_t>(0, std::size(kWords) - 1)];
    if (in.ConsumeBool()) line += ' ';
  }
  return line;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static World world;
  static int inputs = 0;
  if (inputs++ % 256 == 0) world.RestartUsage();
  FuzzedDataProvider in(data, size);
  const int64_t allocations = standin::Game::LiveAllocations();

  json config = json::object();
  Maybe(in, config, "UsePermissions", [&] { return json(in.ConsumeBool()); });
  Maybe(in, config, "PermissionsGroups",
        [&] { return List(in, [&] { return Value(in, [&] { return json(Text(in)); }); }); });
  Maybe(in, config, "RemapEmoji", [&] {
    return List(in, [&] {
      return Value(in, [&] {
        json entry = json::object();
        Maybe(in, entry, "Name", [&] { return json(Text(in)); });
        Maybe(in, entry, "Path", [&] { return json(Text(in)); });
        return entry;
      });
    });
  });
  json packs = json::object();
  Maybe(in, packs, "EmojiMap", [&] {
    return List(in, [&] {
      return Value(in, [&] {
        json pack = json::object();
        Maybe(in, pack, "EmojiPath", [&] { return json(Text(in)); });
        Maybe(in, pack, "EmojiArray",
              [&] { return List(in, [&] { return Value(in, [&] { return json(Text(in)); }); }); });
        Maybe(in, pack, "Groups", [&] {
          return List(in, [&] {
            return Value(in,
                         [&] { return json(kGroups[in.ConsumeIntegralInRange<size_t>(0, std::size(kGroups) - 1)]); });
          });
        });
        return pack;
      });
    });
  });
  Maybe(in, config, "MaxEmojiPerMessage", [&] { return json(in.ConsumeIntegralInRange(0, 4)); });
  Maybe(in, config, "AllowEscape", [&] { return json(in.ConsumeBool()); });
  Maybe(in, config, "BlockTypedMarkup", [&] { return json(in.ConsumeBool()); });
  Maybe(in, config, "EmojiListCommand", [&] { return json("/emojis"); });
  if (in.ConsumeIntegralInRange(0, 15) == 0) config = Value(in, [] { return json::object(); });
  bool controls = false;
  for (const char* key : {"MaxEmojiPerMessage", "AllowEscape", "BlockTypedMarkup", "EmojiListCommand"}) {
    controls = controls || (config.is_object() && config.contains(key));
  }
  if (packs.contains("EmojiMap") && packs["EmojiMap"].is_array()) {
    for (const json& pack : packs["EmojiMap"]) controls = controls || (pack.is_object() && pack.contains("Groups"));
  }
  const std::string list_line = ListLine(in);

  Permissions::StandIn::Clear();
  std::set<std::string> groups;
  for (const char* group : kGroups) {
    if (in.ConsumeBool()) {
      Permissions::StandIn::AddToGroup("id-Ann", group);
      groups.insert(group);
    }
  }

  std::u16string units;
  // Any unit but NUL, which no engine string holds inside its text; half the
  // time only the letters codes are made of, as most chat is ASCII.
  const bool letters = in.ConsumeBool();
  while (in.remaining_bytes() >= 2) {
    const char16_t unit = in.ConsumeIntegral<char16_t>();
    if (letters) {
      units.push_back(u":ab .\"<>/\\AÉ"[unit % 12]);
    } else if (unit != 0) {
      units.push_back(unit);
    }
  }
  FPrimalChatMessage message;
  message.Message = standin::FStringFromUnits(units);

  glyphwork::ConfigDocument = config;
  glyphwork::PackDocument = packs;
  glyphwork::BumpDocumentsGeneration();

  const std::string original = glyphwork::Utf8FromFString(message.Message);
  const auto in_group = [&](const std::string& group) { return groups.count(group) != 0; };
  std::optional<std::string> expected;
  std::map<std::string, uint64_t> expected_counted = world.Counted();
  try {
    std::set<std::string> pictured;
    const auto count = [&](const std::string& code, size_t pack) {
      // Codes too long for the database are not counted.
      const std::string source = pack == SIZE_MAX ? "RemapEmoji" : "EmojiMap[" + std::to_string(pack) + "]";
      if (code.size() <= glyphwork::usage::kMaxNameLength) pictured.insert(code + " " + source);
    };
    const std::string rewritten =
        controls ? glyphwork::reference::LiteralRewriteWithControls(config, packs, original, in_group, count)
                 : glyphwork::reference::LiteralRewrite(config, packs, original, in_group, count);
    expected = glyphwork::Utf8FromFString(glyphwork::FStringFromUtf8(rewritten));
    for (const std::string& key : pictured) ++expected_counted[key];
  } catch (const std::exception&) {
    // A wrong type: the original without controls; with them the hook's
    // answer depends on which key and which recipient, and is not checked.
    if (!controls) expected = original;
  }

  world.player->received.clear();
  standin::RunTimers();  // a tick of its own: another message
  standin::Game::Deliver(world.player, message);
  if (world.player->received.size() != 1 || world.game.malformed_records != 0) std::abort();
  if (expected && world.player->received[0] != *expected) std::abort();
  if (expected && world.Counted() != expected_counted) std::abort();
  message = FPrimalChatMessage();

  world.player->direct.clear();
  {
    FString line = glyphwork::FStringFromUtf8(list_line);
    glyphwork::OnEmojiListCommand(world.player, &line, 0, 0);
  }
  const auto& direct = world.player->direct;
  if (direct.empty() || direct.size() > 9) std::abort();
  if (direct[0].text.rfind(direct.size() == 1 ? "No emoji for you" : "Emoji you can use", 0) != 0) std::abort();
  world.Reset();
  if (standin::Game::LiveAllocations() != allocations) std::abort();
  return 0;
}
