// The stand-in AsaApi host: command tables, hook table, timer, address table,
// log sinks and plugin loading, as far as Glyphwork and its tests need them.
// Like the live host, it expects every call from the game loop, one at a time.
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/sinks/stdout_sinks.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <map>
#include <mutex>
#include <unordered_map>

#include "common/utf8_path.h"
#include "standin/host/host_control.h"
#include "standin/host/host_sink.h"
#include "standin/host/library.h"

namespace {

using Clock = std::chrono::steady_clock;

struct TimerEntry {
  std::function<void()> callback;
  Clock::time_point due;
  std::string identifier;
  std::string module_path;
};

struct Hook {
  void* detour;
  void** entry_slot;
};

struct Plugin {
  std::string path;  // as the platform reports the module's file
  standin::library::Plugin* library = nullptr;
};

struct HostState {
  std::string server_dir;
  std::string current_dir;
  std::vector<std::shared_ptr<spdlog::sinks::sink>> sinks;  // all HostSinks
  std::vector<std::shared_ptr<standin::HostSink>> host_sinks;
  std::shared_ptr<spdlog::logger> logger;
  std::unordered_map<std::string, void*> addresses;
  std::map<std::string, std::vector<Hook>> hooks;
  std::vector<std::pair<std::string, AsaApi::ICommands::ConsoleHandler>> console_commands;
  std::vector<std::pair<std::string, AsaApi::ICommands::RconHandler>> rcon_commands;
  std::vector<std::pair<std::string, AsaApi::ICommands::ChatHandler>> chat_commands;
  // Pointers, so that a callback whose library is already gone can be let go
  // of without running any of its code.
  std::vector<std::unique_ptr<TimerEntry>> timers;
  std::map<std::string, Plugin> plugins;
  std::vector<std::string> events;
};

HostState& State() {
  static HostState* state = new HostState();  // outlives every plugin's teardown
  return *state;
}

std::string Narrow(const FString& text) { return AsaApi::Tools::Utf8Encode(text.ToWString()); }

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::string Canonical(const std::string& path) {
  std::error_code error;
  auto canonical = std::filesystem::weakly_canonical(glyphwork::PathFromUtf8(path), error);
  return error ? path : glyphwork::Utf8FromPath(canonical);
}

std::string FirstWord(const std::string& line) {
  const auto begin = line.find_first_not_of(' ');
  if (begin == std::string::npos) return {};
  return line.substr(begin, line.find(' ', begin) - begin);
}

template <typename Table>
bool Erase(Table& table, const std::string& name) {
  const auto it = std::find_if(table.begin(), table.end(), [&](const auto& e) { return SameName(e.first, name); });
  if (it == table.end()) return false;
  table.erase(it);
  return true;
}

// Drops the pending callbacks scheduled for the plugin at `module_path`,
// while its code is still loaded.
void DropTimersOf(const std::string& module_path) {
  const std::string plugin = Canonical(module_path);
  std::erase_if(State().timers, [&](const auto& t) { return Canonical(t->module_path) == plugin; });
}

// The same once the library is gone (a failed attach unloads it at once):
// destroying a callback would run its code, so it is only let go of.
void AbandonTimersOf(const std::string& module_path) {
  const std::string plugin = Canonical(module_path);
  for (auto& timer : State().timers) {
    if (Canonical(timer->module_path) == plugin) static_cast<void>(timer.release());
  }
  std::erase(State().timers, nullptr);
}

constexpr const char* kLogPattern = "%D %R [%n][%l] %v";

// Before a plugin's code goes, or once it is gone: see HostSink.
void ReclaimSinks(bool code_gone) {
  for (const auto& sink : State().host_sinks) sink->Reclaim(code_gone);
}

void Rewire(const std::string& target, std::vector<Hook>& chain) {
  void* previous = State().addresses.count(target) ? State().addresses[target] : nullptr;
  for (Hook& hook : chain) {
    *hook.entry_slot = previous;
    previous = hook.detour;
  }
}

class Commands final : public AsaApi::ICommands {
 public:
  void RegisterConsoleCommand(const FString& name, const ConsoleHandler& handler) override {
    State().events.push_back("RegisterConsoleCommand " + Narrow(name));
    State().console_commands.emplace_back(Narrow(name), handler);
  }
  void RegisterRconCommand(const FString& name, const RconHandler& handler) override {
    State().events.push_back("RegisterRconCommand " + Narrow(name));
    State().rcon_commands.emplace_back(Narrow(name), handler);
  }
  bool UnregisterConsoleCommand(const FString& name) override {
    State().events.push_back("UnregisterConsoleCommand " + Narrow(name));
    return Erase(State().console_commands, Narrow(name));
  }
  bool UnregisterRconCommand(const FString& name) override {
    State().events.push_back("UnregisterRconCommand " + Narrow(name));
    return Erase(State().rcon_commands, Narrow(name));
  }
  void AddChatCommand(const FString& name, const ChatHandler& handler) override {
    State().events.push_back("AddChatCommand " + Narrow(name));
    State().chat_commands.emplace_back(Narrow(name), handler);
  }
  bool RemoveChatCommand(const FString& name) override {
    State().events.push_back("RemoveChatCommand " + Narrow(name));
    return Erase(State().chat_commands, Narrow(name));
  }
};

class Hooks final : public AsaApi::IHooks {
 public:
  bool RemoveHook(const std::string& target, void* detour) override {
    State().events.push_back("RemoveHook " + target);
    auto& chain = State().hooks[target];
    const auto it = std::find_if(chain.begin(), chain.end(), [&](const Hook& h) { return h.detour == detour; });
    if (it == chain.end()) return false;
    chain.erase(it);
    Rewire(target, chain);
    return true;
  }
  bool InstallHook(const std::string& target, void* detour, void** entry_slot) override {
    State().events.push_back("InstallHook " + target);
    if (!State().addresses.count(target) || detour == nullptr || entry_slot == nullptr) return false;
    auto& chain = State().hooks[target];
    chain.push_back({detour, entry_slot});
    Rewire(target, chain);
    return true;
  }
};

}  // namespace

namespace AsaApi {

ICommands& GetCommands() {
  static Commands commands;
  return commands;
}

IHooks& GetHooks() {
  static Hooks hooks;
  return hooks;
}

namespace Tools {
std::string GetCurrentDir() { return State().current_dir; }
}  // namespace Tools

}  // namespace AsaApi

namespace API {

Timer& Timer::Get() {
  static Timer timer;
  return timer;
}

void Timer::DelayExecuteInternal(const std::function<void()>& callback, int delay_seconds, const FString& identifier,
                                 const FString& module_path) {
  State().events.push_back("DelayExecuteInternal " + std::to_string(delay_seconds) + " " + Narrow(identifier) + " " +
                           Narrow(module_path));
  State().timers.push_back(std::make_unique<TimerEntry>(TimerEntry{
      callback, Clock::now() + std::chrono::seconds(delay_seconds), Narrow(identifier), Narrow(module_path)}));
}

}  // namespace API

void* GetAddress(const std::string& name) {
  const auto& addresses = State().addresses;
  const auto it = addresses.find(name);
  return it == addresses.end() ? nullptr : it->second;
}

std::vector<std::shared_ptr<spdlog::sinks::sink>>& GetLogSinks() { return State().sinks; }

namespace standin {

void StartHost(const HostOptions& options) {
  HostState& state = State();
  state.server_dir = options.server_dir;
  state.current_dir =
      options.current_dir.empty() ? options.server_dir + "/" + standin::kBinariesFolder : options.current_dir;
  state.sinks.clear();
  state.host_sinks.clear();
  std::vector<std::shared_ptr<spdlog::sinks::sink>> outputs;
  if (options.console_sink) outputs.push_back(std::make_shared<spdlog::sinks::stdout_sink_mt>());
  if (options.log_file) {
    const std::string logs = state.current_dir + "/ArkApi/Logs/";
    std::error_code error;
    std::filesystem::create_directories(glyphwork::PathFromUtf8(logs), error);
    // The file sink takes the platform's own name: wide on Windows, where
    // spdlog is built with SPDLOG_WCHAR_FILENAMES.
    if (!error) {
      outputs.push_back(
          std::make_shared<spdlog::sinks::basic_file_sink_mt>(glyphwork::PathFromUtf8(logs + "AsaApi.log").native()));
    }
  }
  outputs.insert(outputs.end(), options.extra_sinks.begin(), options.extra_sinks.end());
  for (const auto& output : outputs) {
    state.host_sinks.push_back(std::make_shared<HostSink>(output, kLogPattern));
    state.sinks.push_back(state.host_sinks.back());
  }
  state.logger = std::make_shared<spdlog::logger>("AsaApi", state.sinks.begin(), state.sinks.end());
  state.logger->flush_on(spdlog::level::info);
}

std::string ServerDir() { return State().server_dir; }

void StopHost() {
  HostState& state = State();
  std::vector<std::string> names;
  for (const auto& [name, plugin] : state.plugins) names.push_back(name);
  for (const auto& name : names) UnloadPlugin(name);
  state.console_commands.clear();
  state.rcon_commands.clear();
  state.chat_commands.clear();
  state.hooks.clear();
  state.timers.clear();
  state.events.clear();
  state.logger.reset();
  state.sinks.clear();
  state.host_sinks.clear();
}

void SetAddress(const std::string& name, void* entry) {
  State().addresses[name] = entry;
  const auto it = State().hooks.find(name);
  if (it != State().hooks.end()) Rewire(name, it->second);
}

void* HookEntry(const std::string& target) {
  const auto it = State().hooks.find(target);
  if (it != State().hooks.end() && !it->second.empty()) return it->second.back().detour;
  return GetAddress(target);
}

bool LoadPlugin(const std::string& name, const std::string& file) {
  HostState& state = State();
  if (state.plugins.count(name)) return true;
  const std::string path =
      Canonical(file.empty() ? state.current_dir + "/ArkApi/Plugins/" + name + "/" + name + library::Suffix() : file);
  std::string error;
  library::Plugin* loaded = library::Load(path, &error, [&](bool code_gone) {
    if (code_gone) {
      AbandonTimersOf(path);
    } else {
      DropTimersOf(path);
    }
    ReclaimSinks(code_gone);
  });
  if (loaded == nullptr) {
    if (state.logger) state.logger->error("Failed to load plugin {}: {}", name, error);
    return false;
  }
  state.plugins[name] = {library::ModulePath(loaded), loaded};
  return true;
}

bool UnloadPlugin(const std::string& name) {
  HostState& state = State();
  const auto it = state.plugins.find(name);
  if (it == state.plugins.end()) return false;
  const Plugin plugin = it->second;
  state.plugins.erase(it);
  // A callback must never run into an unloaded library.
  DropTimersOf(plugin.path);
  ReclaimSinks(false);
  library::Unload(plugin.library);
  return true;
}

bool IsPluginLoaded(const std::string& name) { return State().plugins.count(name) != 0; }

bool NotifyPluginThread(const std::string& name, int reason) {
  const auto it = State().plugins.find(name);
  return it != State().plugins.end() && library::NotifyThread(it->second.library, reason);
}

std::string PluginModulePath(const std::string& name) {
  const auto it = State().plugins.find(name);
  return it == State().plugins.end() ? std::string() : it->second.path;
}

int RunTimers() {
  HostState& state = State();
  const auto now = Clock::now();
  std::vector<std::unique_ptr<TimerEntry>> due;
  for (auto it = state.timers.begin(); it != state.timers.end();) {
    if ((*it)->due <= now) {
      due.push_back(std::move(*it));
      it = state.timers.erase(it);
    } else {
      ++it;
    }
  }
  for (auto& entry : due) {
    try {
      entry->callback();
    } catch (const std::exception& error) {
      if (state.logger) state.logger->error("Timer callback {} failed: {}", entry->identifier, error.what());
    } catch (...) {
      if (state.logger) state.logger->error("Timer callback {} failed", entry->identifier);
    }
  }
  return int(due.size());
}

std::size_t PendingTimers() { return State().timers.size(); }

namespace {

// Runs the handler of the command the line's first word names, if there is
// one. The handler is run from a copy: it may remove its own command.
template <typename Table, typename Run>
bool Dispatch(const Table& table, const std::string& line, Run&& run) {
  const std::string word = FirstWord(line);
  for (const auto& [name, handler] : table) {
    if (SameName(name, word)) {
      const auto copy = handler;
      run(copy);
      return true;
    }
  }
  return false;
}

}  // namespace

bool ExecuteConsoleCommand(APlayerController* player, const std::string& line) {
  return Dispatch(State().console_commands, line, [&](const auto& handler) {
    FString command(line.c_str());
    handler(player, &command, false);
  });
}

bool ExecuteRconCommand(RCONClientConnection* connection, RCONPacket* packet) {
  return Dispatch(State().rcon_commands, Narrow(packet->Body),
                  [&](const auto& handler) { handler(connection, packet, nullptr); });
}

bool ExecuteChatCommand(AShooterPlayerController* player, const std::string& text, int mode) {
  return Dispatch(State().chat_commands, text, [&](const auto& handler) {
    FString message(text.c_str());
    handler(player, &message, mode);
  });
}

std::vector<std::string> TakeEvents() { return std::exchange(State().events, {}); }

std::string PluginSuffix() { return library::Suffix(); }

}  // namespace standin
