#include "usage/usage.h"

#include <spdlog/logger.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <exception>
#include <memory>
#include <sstream>

#include "chat/chat_hook.h"
#include "common/engine_text.h"
#include "common/game_functions.h"
#include "common/plugin_name.h"
#include "config/config.h"
#include "config/reading.h"
#include "log/log.h"
#include "usage/day.h"
#include "usage/pending_file.h"
#include "usage/tally.h"

namespace glyphwork {

namespace usage {
Tally* counting_tally = nullptr;
}  // namespace usage

namespace {

using usage::Key;

constexpr int kDefaultDays = 30;
constexpr size_t kTopCodes = 10;
constexpr size_t kUnusedListed = 8;
constexpr std::chrono::milliseconds kFirstReadingWait{2000};

struct UsageState {
  std::unique_ptr<usage::Counts> counts;
  std::unique_ptr<usage::Tally> tally;
  std::unique_ptr<usage::Writer> writer;
  // The settings the writer starts with, and whether it may: not before the
  // host's first timer call, when every plugin is loaded (the host stops all
  // threads while a plugin loaded after this one installs its hooks).
  std::optional<usage::UsageSettings> settings;
  bool may_write = false;
  bool commands = false;
};

UsageState& State() {
  static UsageState state;
  return state;
}

void Tick(float) {
  if (usage::counting_tally != nullptr) usage::counting_tally->Tick();
}

// The two commands, and the tick callback that tells messages apart.
void AddCommands() {
  UsageState& state = State();
  if (state.commands) return;
  const FString name(UsageCommandName().c_str());
  AsaApi::GetCommands().AddRconCommand(name, &OnUsageRconCommand);
  AsaApi::GetCommands().AddConsoleCommand(name, &OnUsageConsoleCommand);
  AsaApi::GetCommands().AddOnTickCallback(name, &Tick);
  state.commands = true;
}

void RemoveCommands() {
  UsageState& state = State();
  if (!state.commands) return;
  const FString name(UsageCommandName().c_str());
  AsaApi::GetCommands().RemoveRconCommand(name);
  AsaApi::GetCommands().RemoveConsoleCommand(name);
  AsaApi::GetCommands().RemoveOnTickCallback(name);
  state.commands = false;
}

void StartWriter() {
  UsageState& state = State();
  state.writer = std::make_unique<usage::Writer>(*state.counts, *state.settings,
                                                 GetConfigPath().parent_path() / usage::kPendingFile,
                                                 PluginFolderShown() + usage::kPendingFile, HostLog());
}

void Begin(const usage::UsageSettings& settings) {
  UsageState& state = State();
  if (!state.counts) state.counts = std::make_unique<usage::Counts>();
  if (!state.tally) {
    state.tally = std::make_unique<usage::Tally>(*state.counts);
    state.tally->UseRules(ChatRulesInEffect(), PackFiles);
  }
  state.settings = settings;
  if (state.writer) {
    state.writer->Use(settings);
  } else if (state.may_write) {
    StartWriter();
  }
  AddCommands();
  usage::counting_tally = state.tally.get();
}

std::string Plural(uint64_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

std::string UsageCommandName() { return std::string(kPluginName) + ".Usage"; }

std::optional<usage::UsageSettings> ReadUsageSettingsOf(const nlohmann::json& config) {
  return usage::ReadUsageSettings(config, ConfigFileShown(), GetConfigPath().parent_path(), PluginFolderShown());
}

void StartUsage() {
  try {
    const std::optional<usage::UsageSettings> settings = ReadUsageSettingsOf(ConfigDocument);
    if (settings && settings->enabled) Begin(*settings);
  } catch (const std::exception& error) {
    try {
      if (HostLog()) HostLog()->error(std::string("Usage not counted! ") + error.what());
    } catch (...) {
    }
  }
}

void UseUsageSettings(const std::optional<usage::UsageSettings>& settings) {
  UsageState& state = State();
  if (settings && settings->enabled) {
    Begin(*settings);
    return;
  }
  usage::counting_tally = nullptr;
  RemoveCommands();
  // What was counted before is written all the same, and soon.
  if (settings && state.counts) state.settings = settings;
  if (state.writer && settings) state.writer->Use(*settings);
}

void StartUsageWriter() {
  UsageState& state = State();
  state.may_write = true;
  if (!state.writer && state.counts && state.settings) StartWriter();
}

void StopUsage() {
  UsageState& state = State();
  usage::counting_tally = nullptr;
  RemoveCommands();
  // Counted before the writer could begin: it begins for its last flush.
  if (!state.writer && state.counts && state.settings) StartWriter();
  if (state.writer) state.writer->Stop();
  state.writer.reset();
  state.tally.reset();
  state.counts.reset();
  state.settings.reset();
  state.may_write = false;
}

namespace {

using WorldEndFn = void (*)(AShooterGameMode*, int);
WorldEndFn WorldEndTrampoline = nullptr;
bool world_end_hooked = false;

// The live host never unloads a plugin when the server stops: the world's
// end is the last moment the counts can be written.
void WorldEndHook(AShooterGameMode* game_mode, int reason) {
  try {
    StopUsage();
  } catch (...) {
  }
  if (WorldEndTrampoline != nullptr) WorldEndTrampoline(game_mode, reason);
}

}  // namespace

void InstallWorldEndHook() {
  if (world_end_hooked) return;
  world_end_hooked =
      AsaApi::GetHooks().SetHook(game::kGameModeEndPlay, reinterpret_cast<LPVOID>(&WorldEndHook), &WorldEndTrampoline);
}

void RemoveWorldEndHook() {
  if (!world_end_hooked) return;
  AsaApi::GetHooks().DisableHook(game::kGameModeEndPlay, reinterpret_cast<LPVOID>(&WorldEndHook));
  world_end_hooked = false;
}

void UsageRulesChanged(const ChatRules& rules) {
  UsageState& state = State();
  if (state.tally) state.tally->UseRules(rules, PackFiles);
}

std::vector<std::string> UsageAnswer(const std::string& command_line) {
  std::istringstream words(command_line);
  std::string command, argument, extra;
  words >> command >> argument >> extra;
  int days = kDefaultDays;
  if (!argument.empty()) {
    const auto [end, error] = std::from_chars(argument.data(), argument.data() + argument.size(), days);
    if (error != std::errc() || end != argument.data() + argument.size() || days < 1 || days > usage::kReadDays ||
        !extra.empty()) {
      return {"Usage: " + UsageCommandName() + " [days], days a whole number from 1 to " +
              std::to_string(usage::kReadDays) + " (default " + std::to_string(kDefaultDays) + ")"};
    }
  }
  UsageState& state = State();
  if (!state.counts || !state.tally) return {"Emoji usage is not counted: config.json's Usage block is not enabled."};

  const int64_t today = usage::Today();
  const int64_t first = today - days + 1;
  bool answering = true, read = true;
  // Right after a start the first flush is under way: its reading is worth
  // a moment of an admin's command, never more.
  if (!state.counts->HasReading() && state.writer) state.writer->AwaitFirstFlush(kFirstReadingWait);
  const std::map<Key, uint64_t> totals = state.counts->Totals(first, &answering, &read);
  // Other servers of a cluster may have written since: the next answer has
  // them.
  if (state.writer) state.writer->WantReading();
  std::vector<std::pair<Key, uint64_t>> top(totals.begin(), totals.end());
  std::erase_if(top, [](const auto& entry) { return entry.second == 0; });
  std::stable_sort(top.begin(), top.end(), [](const auto& a, const auto& b) { return a.second > b.second; });

  std::vector<std::string> lines;
  lines.push_back("Emoji usage, last " + Plural(uint64_t(days), "day", "days") + " (" + usage::DayText(first) + " to " +
                  usage::DayText(today) + " UTC)" +
                  (read && answering ? ":"
                   : read      ? ", the database does not answer: what it held at its last answer and what this server "
                                 "counted since:"
                   : answering ? ", the database is not read yet: what this server counted since it started:"
                               : ", the database does not answer: what this server counted since it started:"));
  if (top.empty()) lines.push_back("No message used an emoji.");
  for (size_t i = 0; i < top.size() && i < kTopCodes; ++i) {
    lines.push_back(std::to_string(i + 1) + ". " + top[i].first.code + " (" + top[i].first.pack + ") " +
                    Plural(top[i].second, "message", "messages"));
  }
  if (top.size() > kTopCodes) lines.push_back("... and " + Plural(top.size() - kTopCodes, "more code", "more codes"));

  const std::vector<Key> configured = state.tally->Configured();
  std::vector<const Key*> unused;
  for (const Key& key : configured) {
    const auto it = totals.find(key);
    if (it == totals.end() || it->second == 0) unused.push_back(&key);
  }
  std::string never = "Used by no message: " + std::to_string(unused.size()) + " of " +
                      Plural(configured.size(), "configured code", "configured codes");
  for (size_t i = 0; i < unused.size() && i < kUnusedListed; ++i) {
    never += (i == 0 ? ": " : ", ") + unused[i]->code + " (" + unused[i]->pack + ")";
  }
  if (unused.size() > kUnusedListed) never += ", ...";
  lines.push_back(never);
  return lines;
}

void OnUsageConsoleCommand(APlayerController* player, FString* command, bool) {
  if (player == nullptr) return;
  try {
    FString sender("Server");
    for (const std::string& line : UsageAnswer(command != nullptr ? Utf8FromFString(*command) : "")) {
      FString text = FStringFromUtf8(line);
      game::ClientServerChatDirectMessage(reinterpret_cast<AShooterPlayerController*>(player), text,
                                          FLinearColor{1, 1, 1, 1}, false, sender);
    }
  } catch (const std::exception& error) {
    PrintError(std::string("Usage not answered: ") + error.what());
  }
}

void OnUsageRconCommand(RCONClientConnection* connection, RCONPacket* packet, UWorld*) {
  std::string answer;
  try {
    for (const std::string& line : UsageAnswer(Utf8FromFString(packet->Body))) {
      if (!answer.empty()) answer += "\n";
      answer += line;
    }
  } catch (const std::exception& error) {
    answer = std::string("Usage not answered: ") + error.what();
  }
  FString reply = FStringFromUtf8(answer);
  game::SendRconMessage(connection, packet->Id, 0, reply);
}

std::optional<usage::Writer::Stats> UsageWriterStats() {
  if (!State().writer) return std::nullopt;
  return State().writer->stats();
}

std::map<Key, uint64_t> UsageTotals(int64_t first_day) {
  if (!State().counts) return {};
  return State().counts->Totals(first_day);
}

}  // namespace glyphwork
