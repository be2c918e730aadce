// What the stand-in host offers its own programs (the dev server, the tests)
// beyond the SDK: starting, loading plugins as the live host does, running
// the game loop's timer, dispatching commands, and a record of what plugins
// asked of it.
#pragma once

#include <API/ARK/Ark.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

// Declared only: a program that formats its text with another fmt than the
// logging library's keeps the two apart.
namespace spdlog::sinks {
class sink;
}

namespace standin {

// Where a live server keeps its files: the game's content under
// <server>/ShooterGame/Content, the server's executable and the host's own
// folder (ArkApi/) in <server>/ShooterGame/Binaries/Win64, which is the
// folder GetCurrentDir reports.
inline constexpr const char* kBinariesFolder = "ShooterGame/Binaries/Win64";
inline constexpr const char* kContentFolder = "ShooterGame/Content";
// The API version the host reports; PluginInfo.json's MinApiVersion above it
// refuses a plugin.
inline constexpr float kApiVersion = 1.0f;

// Folders are UTF-8 text.
struct HostOptions {
  std::string server_dir{};                                         // the server folder
  bool console_sink = true;                                         // host log lines also on standard output
  std::vector<std::shared_ptr<spdlog::sinks::sink>> extra_sinks{};  // e.g. a test's capture
  // false: nothing is written into the server folder; else the rotating file
  // <binaries>/logs/ArkApi_<process id>_<YYYY-MM-DD_hh-mm>.log.
  bool log_file = true;
  std::string current_dir{};  // what GetCurrentDir reports (as UTF-8); empty: <server_dir>/kBinariesFolder
  std::string content_dir{};  // where the game's assets are; empty: <server_dir>/kContentFolder
};

// Sets the server folder and the log sinks.
ARK_API void StartHost(const HostOptions& options);
// The server folder of the last StartHost.
ARK_API std::string ServerDir();
// The game's content folder of the last StartHost, as UTF-8: "/Game/A/B.B"
// is the asset <content>/A/B.uasset.
ARK_API std::string ContentDir();
// The host's folder's parent, <server>/ShooterGame/Binaries/Win64 unless
// HostOptions said otherwise, as UTF-8 (GetCurrentDir reports it in the
// platform's narrow text).
ARK_API std::string BinariesDir();
// Unloads every plugin (PreventUnloading or not) and clears every table.
// StartHost may follow again.
ARK_API void StopHost();
// What the live process's end does instead: no plugin's Plugin_Unload; the
// tables go and the libraries stay loaded until the process ends, when their
// own exit work runs. For a process about to end.
ARK_API void EndProcess();

// The game fills the table of decorated names that GetAddress reads.
ARK_API void SetAddress(const std::string& name, void* entry);
// What the game calls for a hookable function: the newest detour, else the
// function itself.
ARK_API void* HookEntry(const std::string& target);

// Loads every plugin folder of <binaries>/ArkApi/Plugins in order of name;
// the number loaded. A folder named in `fallbacks` that has no library of its
// own (see HasOwnLibrary) loads the library file the map gives instead, now
// and whenever it is loaded again (plugins.load). The names of the plugins
// that could not be loaded go to `failed`; the folders named in `skip` are
// left alone.
ARK_API int LoadAllPlugins(const std::map<std::string, std::string>& fallbacks = {},
                           std::vector<std::string>* failed = nullptr, const std::vector<std::string>& skip = {});
// True when the plugin folder <name> holds its library, <name><suffix>, or an
// update of it, <name><suffix>.ArkApi.
ARK_API bool HasOwnLibrary(const std::string& name);
// Loads the plugin in <binaries>/ArkApi/Plugins/<name>/ (or the library
// `file`), as the live host does: <name><suffix>.ArkApi replaces the library
// first, PluginInfo.json is read, the library loaded, Plugin_Init called and
// "Loaded plugin <FullName> V<Version> (<Description>)" logged. False, with
// the reason logged, when it cannot be loaded.
ARK_API bool LoadPlugin(const std::string& name, const std::string& file = "");
// Calls Plugin_Unload, removes every timer, command, callback and hook the
// plugin's module left, then unloads the library. False when the plugin is
// not loaded or its PluginInfo.json prevents unloading.
ARK_API bool UnloadPlugin(const std::string& name);
// Every loaded plugin's name, in order of loading.
ARK_API std::vector<std::string> LoadedPlugins();
// The loaded plugin's file as the platform reports it ("" if not loaded).
ARK_API std::string PluginModulePath(const std::string& name);
// The loaded plugin's export of that plain name; null when the plugin is not
// loaded or has none. Valid until the plugin is unloaded.
ARK_API void* PluginSymbol(const std::string& name, const char* symbol);

// Runs the delayed callbacks that are due, each once, and the once-a-second
// callbacks when a second has passed. No exception handler: one that leaves a
// callback is logged and ends the process, as it ends a live server. Returns
// the number of delayed callbacks run.
ARK_API int RunTimers();
ARK_API std::size_t PendingTimers();

// The game's clock in seconds, which the game loop advances; the chat spam
// guard goes by it.
ARK_API double GameClock();
ARK_API void AdvanceGameClock(double seconds);

// The UTC clock the plugin sees is the system's, moved by whole days here so
// that tests can count on several days in one run. The host exports the
// shift as `extern "C" long long StandInClockShiftSeconds()`, which the
// plugin's platform file asks for; StartHost sets it back to 0.
ARK_API void ShiftClockDays(int days);
ARK_API int64_t ClockShiftDays();

// A console line: when its first word names a command (letter case ignored)
// the command runs and the line is emptied; the game's own console handler
// then gets what is left. True when a command took it.
ARK_API bool ExecuteConsoleCommand(APlayerController* player, FString* line);
ARK_API bool ExecuteConsoleCommand(APlayerController* player, const std::string& line);
// An RCON request; commands are matched for authenticated connections only.
// True when a command took it.
ARK_API bool ExecuteRconCommand(RCONClientConnection* connection, RCONPacket* packet, bool authenticated = true);
// A chat line as the game hands it to the host before delivering it: the
// spam guard, then the chat commands, then the chat callbacks (told whether a
// command ran), as the live host runs them.
enum class ChatOutcome {
  kDeliver,  // no command took it: the game delivers it
  kTaken,    // a command or chat callback took it: it goes to no player
  kDropped,  // the spam guard dropped it: less than 1 s after the same player's last line it let through
};
ARK_API ChatOutcome ExecuteChatCommand(AShooterPlayerController* player, const std::string& text, int mode);

// Every SDK call that changes the host's tables and every plugin load and
// unload, in order, as text: "AddConsoleCommand <name>", "SetHook <target>",
// "DelayExecuteInternal <delay> <identifier> <module path>",
// "Plugin_Init <name>", "left behind by <name>: <entry>", ... Returns them
// and starts a new record.
ARK_API std::vector<std::string> TakeEvents();
// The threads the process ran at each SetHook and DisableHook since the last
// call (the live host suspends every other thread there: a plugin's thread
// that runs then may hold a lock the host needs), and starts a new record.
ARK_API std::vector<int> TakeThreadsAtHookChanges();
// The threads the process runs now.
ARK_API int ProcessThreads();
// What the host's tables hold now, one entry each: "console <name>",
// "rcon <name>", "chat <name>", "hook <target>", "timer <identifier>",
// "tick <id>", "each second <id>", "chat callback <id>".
ARK_API std::vector<std::string> Registrations();

// Shows where a platform loads libraries from: ".so" or ".dll".
ARK_API std::string PluginSuffix();

}  // namespace standin
