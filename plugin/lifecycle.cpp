#include "plugin/lifecycle.h"

#include <fmt/format.h>
#include <fmt/xchar.h>

#include <exception>
#include <string>

#include "assets/emoji_assets.h"
#include "chat/chat_hook.h"
#include "chat/chat_rules.h"
#include "commands/emoji_list.h"
#include "commands/reload.h"
#include "config/config.h"
#include "log/log.h"
#include "plugin/api/game.h"
#include "plugin/platform.h"

namespace glyphwork {

const FString ReloadCommandName((std::string(kPluginName) + ".Reload").c_str());

namespace {

// Set when Load has already written its failure to HostLog, so that the entry
// does not write it twice.
bool failure_logged = false;

void RunStartupAssetLoading() {
  // This runs inside the host's timer: an exception there could take the
  // server down.
  try {
    LoadEmojiAssets();
  } catch (const std::exception& error) {
    if (auto& log = HostLog()) log->error("Failed to load emoji assets! {}", error.what());
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

  API::Timer& timer = API::Timer::Get();
  const FString module_path_a(platform::ModuleFilePath().c_str());
  const std::wstring module_path_b = platform::ModuleFilePath();
  const FString identifier(fmt::format(L"{}_{}", module_path_b, 0).c_str());
  timer.DelayExecuteInternal(std::function<void()>(&RunStartupAssetLoading), 0, identifier, module_path_a);

  AsaApi::GetCommands().RegisterRconCommand(ReloadCommandName, AsaApi::ICommands::RconHandler(&OnReloadRconCommand));
  AsaApi::GetCommands().RegisterConsoleCommand(ReloadCommandName,
                                               AsaApi::ICommands::ConsoleHandler(&OnReloadConsoleCommand));
  UpdateEmojiListCommand();
  AsaApi::GetHooks().InstallHook(game::kClientChatMessage, reinterpret_cast<void*>(&ClientChatMessageHook),
                                 reinterpret_cast<void**>(&ClientChatMessageTrampoline));
}

void Unload() {
  AsaApi::GetCommands().UnregisterRconCommand(ReloadCommandName);
  AsaApi::GetCommands().UnregisterConsoleCommand(ReloadCommandName);
  RemoveEmojiListCommand();
  AsaApi::GetHooks().RemoveHook(game::kClientChatMessage, reinterpret_cast<void*>(&ClientChatMessageHook));
  // The console logger's name must not outlive the plugin in the shared
  // registry: a second load in this process would find it taken.
  ReleaseConsoleLog();
}

bool OnEntryNotification(int reason) noexcept {
  switch (reason) {
    case 1:
      try {
        Load();
        return true;
      } catch (const std::exception& error) {
        try {
          if (!failure_logged && HostLog()) HostLog()->error(error.what());
        } catch (...) {
        }
        return false;
      } catch (...) {
        try {
          if (HostLog()) HostLog()->error("Load failed with an unknown exception");
        } catch (...) {
        }
        return false;
      }
    case 0:
      try {
        Unload();
      } catch (...) {
      }
      return true;
    default:
      return true;
  }
}

}  // namespace glyphwork
