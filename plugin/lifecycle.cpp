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
#include "common/game_functions.h"
#include "config/config.h"
#include "log/log.h"
#include "plugin/platform.h"
#include "usage/usage.h"

namespace glyphwork {

const FString ReloadCommandName((std::string(kPluginName) + ".Reload").c_str());

namespace {

// Set when Load has already written its failure to HostLog, so that
// StartPlugin does not write it twice.
bool failure_logged = false;

void RunStartupAssetLoading() {
  // This runs inside the host's timer, which has no exception handler: an
  // exception that left it would take the server down.
  try {
    LoadEmojiAssets();
  } catch (const std::exception& error) {
    try {
      if (auto& log = HostLog()) log->error("Failed to load emoji assets! {}", error.what());
    } catch (...) {
    }
  } catch (...) {
  }
}

}  // namespace

void Load() {
  failure_logged = false;
  HostLog();
  SetUpHostLog(kPluginName);
  try {
    ReadConfig();
  } catch (const std::exception& error) {
    HostLog()->error(error.what());
    failure_logged = true;
    throw;
  }
  SetUpConsoleLog();
  LoadPacks();
  // Derived now, so that the first message does not pay for it.
  UseChatRules(BuildChatRules());

  // The timer names the plugin's module itself; the identifier is the
  // module's path and "_0".
  const FString identifier((platform::ModuleFilePath() + L"_0").c_str());
  API::Timer::Get().DelayExecute(identifier, &RunStartupAssetLoading, 0);

  AsaApi::GetCommands().AddRconCommand(ReloadCommandName, &OnReloadRconCommand);
  AsaApi::GetCommands().AddConsoleCommand(ReloadCommandName, &OnReloadConsoleCommand);
  UpdateEmojiListCommand();
  StartUsage();
  AsaApi::GetHooks().SetHook(game::kClientChatMessage, reinterpret_cast<LPVOID>(&ClientChatMessageHook),
                             &ClientChatMessageTrampoline);
}

void Unload() {
  AsaApi::GetCommands().RemoveRconCommand(ReloadCommandName);
  AsaApi::GetCommands().RemoveConsoleCommand(ReloadCommandName);
  RemoveEmojiListCommand();
  AsaApi::GetHooks().DisableHook(game::kClientChatMessage, reinterpret_cast<LPVOID>(&ClientChatMessageHook));
  // Nothing counts any more: the last flush may run.
  StopUsage();
  // The console logger's name must not outlive the plugin in the shared
  // registry: a second load in this process would find it taken.
  ReleaseConsoleLog();
}

void StartPlugin() noexcept {
  try {
    Load();
  } catch (const std::exception& error) {
    try {
      if (!failure_logged && HostLog()) HostLog()->error(error.what());
    } catch (...) {
    }
  } catch (...) {
    try {
      if (HostLog()) HostLog()->error("Load failed with an unknown exception");
    } catch (...) {
    }
  }
}

void StopPlugin() noexcept {
  try {
    Unload();
  } catch (...) {
  }
}

}  // namespace glyphwork
