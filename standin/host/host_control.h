// What the stand-in host offers its own programs (the dev server, the tests)
// beyond the plugin API: starting, loading plugins, running the game loop's
// timer, dispatching commands, and a record of what plugins asked of it.
#pragma once

#include <spdlog/logger.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "plugin/api/asa_api.h"

namespace standin {

// Where a live server keeps its files: the game's content under
// <server>/ShooterGame/Content, the server's executable and the host's own
// folder (ArkApi/) in <server>/ShooterGame/Binaries/Win64, which is the
// process's current directory and so what GetCurrentDir reports.
inline constexpr const char* kBinariesFolder = "ShooterGame/Binaries/Win64";
inline constexpr const char* kContentFolder = "ShooterGame/Content";

// Folders are UTF-8 text, as the host's GetCurrentDir reports them.
struct HostOptions {
  std::string server_dir{};                                         // the server folder
  bool console_sink = true;                                         // host log lines also on standard output
  std::vector<std::shared_ptr<spdlog::sinks::sink>> extra_sinks{};  // e.g. a test's capture
  bool log_file = true;                                             // false: nothing is written into the server folder
  std::string current_dir{};  // what GetCurrentDir reports; empty: <server_dir>/kBinariesFolder
};

// Sets the server folder and the log sinks: if asked, a file under
// <current dir>/ArkApi/Logs/ and standard output.
ASAAPI_API void StartHost(const HostOptions& options);
// The server folder of the last StartHost.
ASAAPI_API std::string ServerDir();
// Unloads every plugin and clears every table. StartHost may follow again.
ASAAPI_API void StopHost();

// The game fills the table of decorated names that GetAddress reads.
ASAAPI_API void SetAddress(const std::string& name, void* entry);
// What the game calls for a hookable function: the newest detour, else the
// function itself.
ASAAPI_API void* HookEntry(const std::string& target);

// Loads <current dir>/ArkApi/Plugins/<name>/<name><suffix> (or `file`), which
// delivers attach. A failed attach is followed by detach, the library is
// closed, its pending callbacks dropped, the failure logged, false returned.
ASAAPI_API bool LoadPlugin(const std::string& name, const std::string& file = "");
// Delivers detach, closes the library, drops its pending timer callbacks.
ASAAPI_API bool UnloadPlugin(const std::string& name);
ASAAPI_API bool IsPluginLoaded(const std::string& name);
// Has the platform deliver a thread notification (2 attach, 3 detach) to a
// loaded plugin; the entry's result where the host sees it, else true.
ASAAPI_API bool NotifyPluginThread(const std::string& name, int reason);
// The loaded plugin's file as the platform reports it ("" if not loaded).
ASAAPI_API std::string PluginModulePath(const std::string& name);

// Runs the callbacks that are due, each at most once; one that throws is
// logged and dropped. Returns the number run.
ASAAPI_API int RunTimers();
ASAAPI_API std::size_t PendingTimers();

// Finds the command by the first word of the line (letter case ignored) and
// runs it. False when no such command is registered.
ASAAPI_API bool ExecuteConsoleCommand(APlayerController* player, const std::string& line);
ASAAPI_API bool ExecuteRconCommand(RCONClientConnection* connection, RCONPacket* packet);
// A chat text as the game hands it to the host before delivering it: true
// when a chat command took it, and then it goes to no player.
ASAAPI_API bool ExecuteChatCommand(AShooterPlayerController* player, const std::string& text, int mode);

// Every plugin-API call that changes the host's tables, in order, as text:
// "RegisterConsoleCommand <name>", "InstallHook <target>",
// "DelayExecuteInternal <delay> <identifier> <module path>", ...
// Returns them and starts a new record.
ASAAPI_API std::vector<std::string> TakeEvents();

// Shows where a platform loads libraries from: ".so" or ".dll".
ASAAPI_API std::string PluginSuffix();

}  // namespace standin
