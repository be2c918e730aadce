#include "plugin/lifecycle.h"

#include <Timer.h>
#include <spdlog/logger.h>

#include <exception>
#include <string>

#include "assets/emoji_assets.h"
#include "chat/chat_hook.h"
#include "chat/chat_rules.h"
#include "commands/emoji_list.h"
#include "commands/reload.h"
#include "config/config.h"
#include "log/log.h"
#include "platform/platform.h"
#include "usage/usage.h"

namespace glyphwork {

namespace {

// "Glyphwork.Reload", the name of both reload commands: made at Load, since
// an FString takes the host's allocator, which static initialisation must
// not call.
FString& ReloadCommandName() {
  static FString name;
  return name;
}

bool started = false;  // Load read the documents and put them in effect

void LogError(const std::string& line) {
  try {
    if (auto& log = HostLog()) log->error(line);
  } catch (...) {
  }
}

// The host's timer calls it once, after every plugin is loaded: the
// textures load, and the usage writer may begin. The timer has no exception
// handler: an exception that left it would take the server down.
void RunStartupWork() {
  try {
    if (started) LoadEmojiAssets();
  } catch (const std::exception& error) {
    LogError(std::string("Failed to load emoji assets! ") + error.what());
  } catch (...) {
  }
  StartUsageWriter();
}

}  // namespace

void Load() {
  started = false;
  SetUpHostLog(kPluginName);
  ReloadCommandName() = FString((std::string(kPluginName) + ".Reload").c_str());
  AsaApi::GetCommands().AddRconCommand(ReloadCommandName(), &OnReloadRconCommand);
  AsaApi::GetCommands().AddConsoleCommand(ReloadCommandName(), &OnReloadConsoleCommand);
  // The timer names the plugin's module itself; the identifier is the
  // module's path and "_0".
  const FString identifier((platform::ModuleFilePath() + L"_0").c_str());
  API::Timer::Get().DelayExecute(identifier, &RunStartupWork, 0);
  try {
    ReadConfig();
    SetUpConsoleLog();
    LoadPacks();
  } catch (const std::exception& error) {
    LogError(error.what());
    LogError(std::string(kPluginName) + " is not running: fix the file named above, then " + kPluginName +
             ".Reload on the game console or over RCON starts it");
    return;
  }
  // Derived now, so that the first message does not pay for it.
  UseChatRules(BuildChatRules());
  // The hooks before the usage writer: the host stops every other thread
  // while it changes them.
  InstallChatHook();
  InstallWorldEndHook();
  UpdateEmojiListCommand();
  StartUsage();
  started = true;
}

void Unload() {
  // The writer stopped and joined before the hooks go.
  StopUsage();
  RemoveWorldEndHook();
  RemoveChatHook();
  RemoveEmojiListCommand();
  AsaApi::GetCommands().RemoveRconCommand(ReloadCommandName());
  AsaApi::GetCommands().RemoveConsoleCommand(ReloadCommandName());
  ReloadCommandName() = FString();
  started = false;
  // The console logger's name must not outlive the plugin in the shared
  // registry: a second load in this process would find it taken.
  ReleaseConsoleLog();
}

void StartPlugin() noexcept {
  try {
    Load();
  } catch (const std::exception& error) {
    LogError(error.what());
  } catch (...) {
    LogError("Load failed with an unknown exception");
  }
}

void StopPlugin() noexcept {
  try {
    Unload();
  } catch (...) {
  }
}

}  // namespace glyphwork
