// Arbitrary message text (UTF-16 units, unpaired surrogates included) against
// a configuration built from the input, with every key given a mixed type,
// through the installed hook: the game gets exactly one well-formed delivery,
// no exception leaves the hook, and the text is the plain algorithm's where
// the documents have the types it needs, else the original; with usage
// counted, the message counts each code the plain algorithm replaced, once.
#include <fuzzer/FuzzedDataProvider.h>
#include <spdlog/sinks/null_sink.h>
#include <spdlog/spdlog.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

#include "chat/chat_hook.h"
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
    AsaApi::GetHooks().SetHook(game::kClientChatMessage, reinterpret_cast<LPVOID>(&glyphwork::ClientChatMessageHook),
                               &glyphwork::ClientChatMessageTrampoline);
    player = game.Join("Ann", "id-Ann");
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
  static const char* const kPieces[] = {":", "a", "b", " ", "é", "\"/>", "<img src=\"chat.image\" path=\"", "."};
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
        return pack;
      });
    });
  });
  if (in.ConsumeIntegralInRange(0, 15) == 0) config = Value(in, [] { return json::object(); });

  Permissions::StandIn::Clear();
  std::set<std::string> groups;
  for (const char* group : {"", "a", "b", ":", "é"}) {
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
      units.push_back(u":ab .\"<>/"[unit % 9]);
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
  std::string expected;
  std::map<std::string, uint64_t> expected_counted = world.Counted();
  try {
    std::set<std::string> pictured;
    const std::string rewritten = glyphwork::reference::LiteralRewrite(
        config, packs, original, [&](const std::string& group) { return groups.count(group) != 0; },
        [&](const std::string& code, size_t pack) {
          // Codes too long for the database are not counted.
          const std::string source = pack == SIZE_MAX ? "RemapEmoji" : "EmojiMap[" + std::to_string(pack) + "]";
          if (code.size() <= glyphwork::usage::kMaxNameLength) pictured.insert(code + " " + source);
        });
    expected = glyphwork::Utf8FromFString(glyphwork::FStringFromUtf8(rewritten));
    for (const std::string& key : pictured) ++expected_counted[key];
  } catch (const json::exception&) {
    expected = original;
  }

  world.player->received.clear();
  standin::RunTimers();  // a tick of its own: another message
  standin::Game::Deliver(world.player, message);
  if (world.player->received.size() != 1 || world.game.malformed_records != 0) std::abort();
  if (world.player->received[0] != expected) std::abort();
  if (world.Counted() != expected_counted) std::abort();
  message = FPrimalChatMessage();
  if (standin::Game::LiveAllocations() != allocations) std::abort();
  return 0;
}
