// The stand-in AsaApi host: command tables, hook table, timer, address table,
// log sinks and plugin loading, as the live host does them where a plugin can
// tell. Like the live host, it expects every call from the game loop, one at
// a time.
#include <Logger/Logger.h>
#include <Timer.h>
#include <spdlog/details/os.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <unordered_map>

#include "common/engine_text.h"
#include "common/utf8_path.h"
#include "standin/host/host_control.h"
#include "standin/host/host_sink.h"
#include "standin/host/library.h"

namespace {

using Clock = std::chrono::steady_clock;
using glyphwork::Utf8FromFString;

// Every entry of the host's tables remembers the module (its file, made
// canonical) whose code registered it, so that the host can take away what a
// plugin leaves behind when it unloads.
template <typename Callback>
struct Entry {
  std::string name;
  Callback callback;
  std::string module;
};

template <typename Callback>
using Table = std::vector<Entry<Callback>>;

struct TimerEntry {
  std::function<void()> callback;
  Clock::time_point due;
  std::string identifier;
  std::string module;
};

struct Hook {
  void* detour;
  void** original;
  std::string module;
};

struct PluginInfo {
  std::string full_name;
  std::string description = "No description";
  double version = 1.0;
  double min_api_version = 0;
  std::vector<std::string> dependencies;
  bool prevent_unloading = false;
};

struct Plugin {
  std::string name;
  std::string path;  // as the platform reports the module's file
  std::string module;
  standin::library::Library* library = nullptr;
  bool prevent_unloading = false;
};

using ChatCommand = std::function<void(AShooterPlayerController*, FString*, int, int)>;
using ConsoleCommand = std::function<void(APlayerController*, FString*, bool)>;
using RconCommand = std::function<void(RCONClientConnection*, RCONPacket*, UWorld*)>;
using ChatCallback = std::function<bool(AShooterPlayerController*, FString*, int, int, bool, bool)>;

struct HostState {
  std::string server_dir;
  std::string current_dir;
  std::string content_dir;
  std::vector<spdlog::sink_ptr> sinks;  // the shared sinks (host_sink.h)
  std::shared_ptr<spdlog::logger> logger;
  std::unordered_map<std::string, void*> addresses;
  std::map<std::string, std::vector<Hook>> hooks;
  Table<ChatCommand> chat_commands;
  Table<ConsoleCommand> console_commands;
  Table<RconCommand> rcon_commands;
  Table<std::function<void(float)>> tick_callbacks;
  Table<std::function<void()>> second_callbacks;
  Table<ChatCallback> chat_callbacks;
  std::vector<TimerEntry> timers;
  Clock::time_point last_tick = Clock::now();
  Clock::time_point last_second = Clock::now();
  double game_clock = 0;
  std::map<AShooterPlayerController*, double> last_chat;
  std::vector<Plugin> plugins;  // in order of loading
  std::vector<std::string> events;
  std::vector<int> threads_at_hook_changes;      // the process's, at each SetHook and DisableHook
  std::map<std::string, std::string> fallbacks;  // LoadAllPlugins's, for plugins.load too
};

HostState& State() {
  static HostState* state = new HostState();  // outlives every plugin's teardown
  return *state;
}

// Read by the plugin's threads too, hence apart from the game loop's state.
std::atomic<long long> clock_shift_seconds{0};
constexpr long long kSecondsPerDay = 86400;

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::string Canonical(const std::string& path) {
  if (path.empty()) return path;
  std::error_code error;
  auto canonical = std::filesystem::weakly_canonical(glyphwork::PathFromUtf8(path), error);
  return error ? path : glyphwork::Utf8FromPath(canonical);
}

std::string ModuleOf(const void* address) { return Canonical(standin::library::ModuleOf(address)); }

std::string FirstWord(const std::string& line) {
  const auto begin = line.find_first_not_of(' ');
  if (begin == std::string::npos) return {};
  return line.substr(begin, line.find(' ', begin) - begin);
}

void LogLine(spdlog::level::level_enum level, const std::string& text) {
  if (State().logger) State().logger->log(level, text);
}

// What a live server does when a plugin's code fails where nothing catches:
// it ends, and the log says why.
[[noreturn]] void EndServer(const std::string& why) {
  LogLine(spdlog::level::critical, why);
  if (State().logger) State().logger->flush();
  std::fflush(stdout);
  std::fprintf(stderr, "%s\n", why.c_str());
  std::fflush(stderr);
  std::abort();
}

template <typename Callback>
void Add(Table<Callback>& table, const char* kind, const FString& name, const Callback& callback, const void* caller) {
  const std::string text = Utf8FromFString(name);
  State().events.push_back(std::string(kind) + " " + text);
  table.push_back({text, callback, ModuleOf(caller)});
}

template <typename Callback>
bool Remove(Table<Callback>& table, const char* kind, const FString& name) {
  const std::string text = Utf8FromFString(name);
  State().events.push_back(std::string(kind) + " " + text);
  const auto it = std::find_if(table.begin(), table.end(), [&](const auto& e) { return SameName(e.name, text); });
  if (it == table.end()) return false;
  table.erase(it);
  return true;
}

void Rewire(const std::string& target, std::vector<Hook>& chain) {
  void* previous = State().addresses.count(target) ? State().addresses[target] : nullptr;
  for (Hook& hook : chain) {
    *hook.original = previous;
    previous = hook.detour;
  }
}

// Each override is called straight from the code that registers: the return
// address names its module.
class Commands final : public AsaApi::ICommands {
 public:
  void AddChatCommand(const FString& command, const ChatCommand& callback) override {
    Add(State().chat_commands, "AddChatCommand", command, callback, __builtin_return_address(0));
  }
  void AddConsoleCommand(const FString& command, const ConsoleCommand& callback) override {
    Add(State().console_commands, "AddConsoleCommand", command, callback, __builtin_return_address(0));
  }
  void AddRconCommand(const FString& command, const RconCommand& callback) override {
    Add(State().rcon_commands, "AddRconCommand", command, callback, __builtin_return_address(0));
  }
  void AddOnTickCallback(const FString& id, const std::function<void(float)>& callback) override {
    Add(State().tick_callbacks, "AddOnTickCallback", id, callback, __builtin_return_address(0));
  }
  void AddOnTimerCallback(const FString& id, const std::function<void()>& callback) override {
    Add(State().second_callbacks, "AddOnTimerCallback", id, callback, __builtin_return_address(0));
  }
  void AddOnChatMessageCallback(const FString& id, const ChatCallback& callback) override {
    Add(State().chat_callbacks, "AddOnChatMessageCallback", id, callback, __builtin_return_address(0));
  }
  bool RemoveChatCommand(const FString& command) override {
    return Remove(State().chat_commands, "RemoveChatCommand", command);
  }
  bool RemoveConsoleCommand(const FString& command) override {
    return Remove(State().console_commands, "RemoveConsoleCommand", command);
  }
  bool RemoveRconCommand(const FString& command) override {
    return Remove(State().rcon_commands, "RemoveRconCommand", command);
  }
  bool RemoveOnTickCallback(const FString& id) override {
    return Remove(State().tick_callbacks, "RemoveOnTickCallback", id);
  }
  bool RemoveOnTimerCallback(const FString& id) override {
    return Remove(State().second_callbacks, "RemoveOnTimerCallback", id);
  }
  bool RemoveOnChatMessageCallback(const FString& id) override {
    return Remove(State().chat_callbacks, "RemoveOnChatMessageCallback", id);
  }
};

class Hooks final : public AsaApi::IHooks {
 public:
  bool DisableHook(const std::string& func_name, LPVOID detour) override {
    State().events.push_back("DisableHook " + func_name);
    // The live host suspends every other thread here.
    State().threads_at_hook_changes.push_back(standin::library::ThreadCount());
    auto& chain = State().hooks[func_name];
    const auto it = std::find_if(chain.begin(), chain.end(), [&](const Hook& h) { return h.detour == detour; });
    if (it == chain.end()) return false;
    *it->original = nullptr;
    chain.erase(it);
    Rewire(func_name, chain);
    return true;
  }

 private:
  bool SetHookInternal(const std::string& func_name, LPVOID detour, LPVOID* original) override {
    State().events.push_back("SetHook " + func_name);
    State().threads_at_hook_changes.push_back(standin::library::ThreadCount());
    if (!State().addresses.count(func_name) || detour == nullptr || original == nullptr) return false;
    auto& chain = State().hooks[func_name];
    chain.push_back({detour, original, ModuleOf(detour)});
    Rewire(func_name, chain);
    return true;
  }
};

constexpr const char* kLogPattern = "%D %R [%n][%l] %v";

std::string PluginsFolder() { return State().current_dir + "/ArkApi/Plugins/"; }

// "1", "1.25": the version as the live host writes it, a float through
// operator<<.
std::string VersionText(double version) {
  std::ostringstream text;
  text << float(version);
  return text.str();
}

PluginInfo ReadPluginInfo(const std::string& name, const std::filesystem::path& file) {
  PluginInfo info;
  info.full_name = name;
  std::error_code error;
  if (!std::filesystem::is_regular_file(file, error)) return info;
  try {
    nlohmann::json json;
    std::ifstream(file) >> json;
    info.full_name = json.value("FullName", name);
    info.description = json.value("Description", info.description);
    info.version = json.value("Version", info.version);
    info.min_api_version = json.value("MinApiVersion", info.min_api_version);
    info.dependencies = json.value("Dependencies", info.dependencies);
    info.prevent_unloading = json.value("PreventUnloading", false);
  } catch (const std::exception& failure) {
    LogLine(spdlog::level::err, "PluginInfo.json of " + name + " not read: " + failure.what());
  }
  return info;
}

// What the plugin at `module` left in the host's tables, taken away (while
// its code is still loaded: destroying a callback runs its code).
void RemoveEverythingOf(const Plugin& plugin) {
  HostState& state = State();
  const auto left = [&](const std::string& entry) {
    state.events.push_back("left behind by " + plugin.name + ": " + entry);
  };
  const auto sweep = [&](auto& table, const char* kind) {
    std::erase_if(table, [&](const auto& e) {
      if (e.module != plugin.module) return false;
      left(std::string(kind) + " " + e.name);
      return true;
    });
  };
  sweep(state.chat_commands, "chat");
  sweep(state.console_commands, "console");
  sweep(state.rcon_commands, "rcon");
  sweep(state.tick_callbacks, "tick");
  sweep(state.second_callbacks, "each second");
  sweep(state.chat_callbacks, "chat callback");
  std::erase_if(state.timers, [&](const TimerEntry& t) {
    if (t.module != plugin.module) return false;
    left("timer " + t.identifier);
    return true;
  });
  for (auto& [target, chain] : state.hooks) {
    const auto removed = std::erase_if(chain, [&](const Hook& h) { return h.module == plugin.module; });
    for (size_t i = 0; i < removed; ++i) left("hook " + target);
    if (removed > 0) Rewire(target, chain);
  }
}

bool Unload(const std::string& name, bool forced) {
  HostState& state = State();
  const auto it =
      std::find_if(state.plugins.begin(), state.plugins.end(), [&](const Plugin& p) { return p.name == name; });
  if (it == state.plugins.end()) return false;
  if (it->prevent_unloading && !forced) {
    LogLine(spdlog::level::warn, "Plugin " + name + " prevents unloading");
    return false;
  }
  const Plugin plugin = *it;
  if (auto unload = reinterpret_cast<void (*)()>(standin::library::Symbol(plugin.library, "Plugin_Unload"))) {
    state.events.push_back("Plugin_Unload " + name);
    unload();
  }
  RemoveEverythingOf(plugin);
  standin::ReclaimSharedSinks(state.sinks);
  state.plugins.erase(
      std::find_if(state.plugins.begin(), state.plugins.end(), [&](const Plugin& p) { return p.name == name; }));
  standin::library::Close(plugin.library);
  return true;
}

void ListEntries(std::vector<std::string>& out, const auto& table, const char* kind) {
  for (const auto& e : table) out.push_back(std::string(kind) + " " + e.name);
}

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

std::string GetCurrentDir() { return standin::library::HostNarrowText(State().current_dir); }

bool IsPluginLoaded(const std::string& plugin_name) {
  const auto& plugins = State().plugins;
  return std::any_of(plugins.begin(), plugins.end(), [&](const Plugin& p) { return p.name == plugin_name; });
}

float GetApiVersion() { return standin::kApiVersion; }

}  // namespace Tools

}  // namespace AsaApi

namespace API {

Timer& Timer::Get() {
  static Timer timer;
  return timer;
}

void Timer::DelayExecuteInternal(const std::function<void()>& callback, int delay_seconds, const FString& identifier,
                                 const FString& moduleName) {
  const std::string id = Utf8FromFString(identifier), module = Utf8FromFString(moduleName);
  State().events.push_back("DelayExecuteInternal " + std::to_string(delay_seconds) + " " + id + " " + module);
  State().timers.push_back({callback, Clock::now() + std::chrono::seconds(delay_seconds), id, Canonical(module)});
}

}  // namespace API

extern "C" ARK_API long long StandInClockShiftSeconds() { return clock_shift_seconds.load(); }

void* GetAddress(const std::string& name) {
  const auto& addresses = State().addresses;
  const auto it = addresses.find(name);
  if (it == addresses.end()) EndServer("GetAddress: the game has no function \"" + name + "\"; the server ends");
  return it->second;
}

std::vector<spdlog::sink_ptr>& GetLogSinks() { return State().sinks; }

namespace standin {

void StartHost(const HostOptions& options) {
  HostState& state = State();
  state.server_dir = options.server_dir;
  state.current_dir =
      options.current_dir.empty() ? options.server_dir + "/" + standin::kBinariesFolder : options.current_dir;
  state.content_dir =
      options.content_dir.empty() ? options.server_dir + "/" + standin::kContentFolder : options.content_dir;
  state.sinks.clear();
  state.game_clock = 0;
  clock_shift_seconds = 0;
  state.last_chat.clear();
  std::vector<spdlog::sink_ptr> outputs;
  if (options.console_sink) outputs.push_back(ConsoleSink());
  if (options.log_file) {
    const std::string logs = state.current_dir + "/logs/";
    const std::time_t now = std::time(nullptr);
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%d_%H-%M", std::localtime(&now));
    const std::string file = logs + "ArkApi_" + std::to_string(spdlog::details::os::pid()) + "_" + date + ".log";
    std::error_code error;
    std::filesystem::create_directories(glyphwork::PathFromUtf8(logs), error);
    // The file sink takes the platform's own name: wide on Windows, where
    // spdlog is built with SPDLOG_WCHAR_FILENAMES.
    if (!error) {
      outputs.push_back(RotatingFileSink(glyphwork::PathFromUtf8(file)));
    }
  }
  outputs.insert(outputs.end(), options.extra_sinks.begin(), options.extra_sinks.end());
  for (const auto& output : outputs) state.sinks.push_back(SharedSink(output, kLogPattern));
  state.logger = HostLogger(state.sinks, kLogPattern);
}

std::string ServerDir() { return State().server_dir; }

std::string ContentDir() { return State().content_dir; }

std::string BinariesDir() { return State().current_dir; }

namespace {

void Stop(bool unload) {
  HostState& state = State();
  if (unload) {
    while (!state.plugins.empty()) Unload(state.plugins.back().name, true);
  }
  // Else the libraries stay until the process is gone, as at a live
  // server's end: their code may still be called by what they registered in
  // shared places, such as a logger in the logging library's registry.
  state.plugins.clear();
  state.chat_commands.clear();
  state.console_commands.clear();
  state.rcon_commands.clear();
  state.tick_callbacks.clear();
  state.second_callbacks.clear();
  state.chat_callbacks.clear();
  state.hooks.clear();
  state.timers.clear();
  state.events.clear();
  state.threads_at_hook_changes.clear();
  state.last_chat.clear();
  state.logger.reset();
  state.sinks.clear();
}

}  // namespace

void StopHost() { Stop(true); }

void EndProcess() { Stop(false); }

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

int LoadAllPlugins(const std::map<std::string, std::string>& fallbacks, std::vector<std::string>* failed,
                   const std::vector<std::string>& skip) {
  State().fallbacks = fallbacks;
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(glyphwork::PathFromUtf8(PluginsFolder()), error)) {
    std::error_code status;
    if (!entry.is_directory(status)) continue;
    std::string name = glyphwork::Utf8FromPath(entry.path().filename());
    if (std::find(skip.begin(), skip.end(), name) == skip.end()) names.push_back(std::move(name));
  }
  std::sort(names.begin(), names.end());
  int loaded = 0;
  for (const std::string& name : names) {
    if (LoadPlugin(name)) {
      ++loaded;
    } else if (failed != nullptr) {
      failed->push_back(name);
    }
  }
  return loaded;
}

namespace {

// The library a plugin folder holds, and the update the host takes first.
std::string OwnLibrary(const std::string& name) { return PluginsFolder() + name + "/" + name + library::Suffix(); }
std::filesystem::path UpdateOf(const std::filesystem::path& library) {
  std::filesystem::path update = library;
  update += ".ArkApi";
  return update;
}

}  // namespace

bool HasOwnLibrary(const std::string& name) {
  const std::filesystem::path library = glyphwork::PathFromUtf8(OwnLibrary(name));
  std::error_code error;
  return std::filesystem::exists(library, error) || std::filesystem::exists(UpdateOf(library), error);
}

bool LoadPlugin(const std::string& name, const std::string& file) {
  HostState& state = State();
  if (AsaApi::Tools::IsPluginLoaded(name)) return true;
  const auto fallback = state.fallbacks.find(name);
  const std::string path = !file.empty()                                               ? file
                           : fallback != state.fallbacks.end() && !HasOwnLibrary(name) ? fallback->second
                                                                                       : OwnLibrary(name);
  const auto fail = [&](const std::string& why) {
    LogLine(spdlog::level::err, "Failed to load plugin " + name + ": " + why);
    return false;
  };

  // A new build left beside the library replaces it first.
  const std::filesystem::path library_file = glyphwork::PathFromUtf8(path);
  const std::filesystem::path update = UpdateOf(library_file);
  std::error_code error;
  if (std::filesystem::is_regular_file(update, error)) {
    std::filesystem::rename(update, library_file, error);
    if (error)
      return fail("cannot replace it with " + glyphwork::Utf8FromPath(update.filename()) + ": " + error.message());
    LogLine(spdlog::level::info, "Updated plugin " + name + " from " + glyphwork::Utf8FromPath(update.filename()));
  }

  // The plugin folder's, as the live host reads it; for a library from
  // elsewhere (a fallback) the one beside it where the folder has none.
  std::filesystem::path info_file = glyphwork::PathFromUtf8(PluginsFolder() + name) / "PluginInfo.json";
  if (!std::filesystem::exists(info_file, error)) info_file = library_file.parent_path() / "PluginInfo.json";
  const PluginInfo info = ReadPluginInfo(name, info_file);
  if (info.min_api_version > kApiVersion) {
    return fail("it needs API version " + VersionText(info.min_api_version) + ", this host has " +
                VersionText(kApiVersion));
  }
  for (const std::string& dependency : info.dependencies) {
    if (!AsaApi::Tools::IsPluginLoaded(dependency)) return fail("it needs " + dependency + ", which is not loaded");
  }

  std::string why;
  library::Library* library = library::Open(Canonical(path), &why);
  if (library == nullptr) return fail(why);
  const std::string module_path = library::ModulePath(library);
  state.plugins.push_back({name, module_path, Canonical(module_path), library, info.prevent_unloading});
  if (auto init = reinterpret_cast<void (*)()>(library::Symbol(library, "Plugin_Init"))) {
    state.events.push_back("Plugin_Init " + name);
    init();
  }
  LogLine(spdlog::level::info,
          "Loaded plugin " + info.full_name + " V" + VersionText(info.version) + " (" + info.description + ")");
  return true;
}

bool UnloadPlugin(const std::string& name) { return Unload(name, false); }

std::vector<std::string> LoadedPlugins() {
  std::vector<std::string> names;
  for (const Plugin& plugin : State().plugins) names.push_back(plugin.name);
  return names;
}

void* PluginSymbol(const std::string& name, const char* symbol) {
  for (const Plugin& plugin : State().plugins) {
    if (plugin.name == name) return library::Symbol(plugin.library, symbol);
  }
  return nullptr;
}

std::string PluginModulePath(const std::string& name) {
  for (const Plugin& plugin : State().plugins) {
    if (plugin.name == name) return plugin.path;
  }
  return {};
}

int RunTimers() {
  HostState& state = State();
  const auto now = Clock::now();
  const float tick = std::chrono::duration<float>(now - state.last_tick).count();
  state.last_tick = now;
  // Copies: a callback may change the tables it runs from.
  for (const auto callbacks = state.tick_callbacks; const auto& e : callbacks) e.callback(tick);
  if (now - state.last_second >= std::chrono::seconds(1)) {
    state.last_second = now;
    for (const auto callbacks = state.second_callbacks; const auto& e : callbacks) e.callback();
  }
  std::vector<TimerEntry> due;
  for (auto it = state.timers.begin(); it != state.timers.end();) {
    if (it->due <= now) {
      due.push_back(std::move(*it));
      it = state.timers.erase(it);
    } else {
      ++it;
    }
  }
  for (auto& entry : due) {
    try {
      entry.callback();
    } catch (const std::exception& error) {
      EndServer("A timer callback (" + entry.identifier + ") threw: " + error.what() + "; the server ends");
    } catch (...) {
      EndServer("A timer callback (" + entry.identifier + ") threw; the server ends");
    }
  }
  return int(due.size());
}

std::size_t PendingTimers() { return State().timers.size(); }

double GameClock() { return State().game_clock; }

void AdvanceGameClock(double seconds) { State().game_clock += seconds; }

void ShiftClockDays(int days) { clock_shift_seconds += days * kSecondsPerDay; }

int64_t ClockShiftDays() { return clock_shift_seconds / kSecondsPerDay; }

namespace {

// The host's own commands, plugins.load NAME and plugins.unload NAME, on the
// console and over RCON as the live host has them; what they did goes to the
// host's log and into `reply`. False for any other line.
bool HostCommand(const std::string& line, std::string* reply) {
  const std::string word = FirstWord(line);
  const bool load = SameName(word, "plugins.load");
  if (!load && !SameName(word, "plugins.unload")) return false;
  const auto begin = line.find_first_not_of(' ', line.find(word) + word.size());
  const std::string name = begin == std::string::npos ? "" : line.substr(begin, line.find(' ', begin) - begin);
  if (name.empty()) {
    *reply = word + " needs a plugin's name";
  } else if (load) {
    *reply = LoadPlugin(name) ? "Loaded plugin " + name : "Plugin " + name + " not loaded";
  } else {
    *reply = UnloadPlugin(name) ? "Unloaded plugin " + name : "Plugin " + name + " not unloaded";
  }
  LogLine(spdlog::level::info, *reply);
  return true;
}

// The command the line's first word names, as a copy: its handler may remove
// its own command.
template <typename Callback>
std::optional<Callback> Find(const Table<Callback>& table, const std::string& line) {
  const std::string word = FirstWord(line);
  for (const auto& e : table) {
    if (SameName(e.name, word)) return e.callback;
  }
  return std::nullopt;
}

}  // namespace

bool ExecuteConsoleCommand(APlayerController* player, FString* line) {
  if (std::string reply; HostCommand(Utf8FromFString(*line), &reply)) {
    *line = FString();
    return true;
  }
  const auto handler = Find(State().console_commands, Utf8FromFString(*line));
  if (!handler) return false;
  (*handler)(player, line, false);
  *line = FString();
  return true;
}

bool ExecuteConsoleCommand(APlayerController* player, const std::string& line) {
  FString text = glyphwork::FStringFromUtf8(line);
  return ExecuteConsoleCommand(player, &text);
}

bool ExecuteRconCommand(RCONClientConnection* connection, RCONPacket* packet, bool authenticated) {
  if (!authenticated) return false;
  if (std::string reply; HostCommand(Utf8FromFString(packet->Body), &reply)) {
    using SendFn = void (*)(RCONClientConnection*, int, int, FString&);
    FString text = glyphwork::FStringFromUtf8(reply);
    reinterpret_cast<SendFn>(GetAddress("RCONClientConnection.SendMessage(int,int,FString&)"))(connection, packet->Id,
                                                                                               0, text);
    return true;
  }
  const auto handler = Find(State().rcon_commands, Utf8FromFString(packet->Body));
  if (!handler) return false;
  (*handler)(connection, packet, nullptr);
  return true;
}

ChatOutcome ExecuteChatCommand(AShooterPlayerController* player, const std::string& text, int mode) {
  HostState& state = State();
  // A dropped line leaves the time of the last one as it was.
  const auto last = state.last_chat.find(player);
  if (last != state.last_chat.end() && state.game_clock - last->second < 1.0) return ChatOutcome::kDropped;
  state.last_chat[player] = state.game_clock;
  FString message = glyphwork::FStringFromUtf8(text);
  const auto handler = Find(state.chat_commands, text);
  if (handler) (*handler)(player, &message, mode, 0);
  for (const auto callbacks = state.chat_callbacks; const auto& e : callbacks) {
    if (e.callback(player, &message, mode, 0, false, handler.has_value())) return ChatOutcome::kTaken;
  }
  return handler ? ChatOutcome::kTaken : ChatOutcome::kDeliver;
}

std::vector<std::string> TakeEvents() { return std::exchange(State().events, {}); }

std::vector<int> TakeThreadsAtHookChanges() { return std::exchange(State().threads_at_hook_changes, {}); }

int ProcessThreads() { return library::ThreadCount(); }

std::vector<std::string> Registrations() {
  HostState& state = State();
  std::vector<std::string> out;
  ListEntries(out, state.console_commands, "console");
  ListEntries(out, state.rcon_commands, "rcon");
  ListEntries(out, state.chat_commands, "chat");
  ListEntries(out, state.tick_callbacks, "tick");
  ListEntries(out, state.second_callbacks, "each second");
  ListEntries(out, state.chat_callbacks, "chat callback");
  for (const auto& [target, chain] : state.hooks) {
    for (size_t i = 0; i < chain.size(); ++i) out.push_back("hook " + target);
  }
  for (const TimerEntry& timer : state.timers) out.push_back("timer " + timer.identifier);
  return out;
}

std::string PluginSuffix() { return library::Suffix(); }

}  // namespace standin
