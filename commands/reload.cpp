#include "commands/reload.h"

#include <spdlog/logger.h>

#include <exception>
#include <memory>
#include <stdexcept>

#include "assets/emoji_assets.h"
#include "chat/chat_hook.h"
#include "chat/chat_rules.h"
#include "commands/emoji_list.h"
#include "common/game_functions.h"
#include "config/config.h"
#include "log/log.h"
#include "usage/usage.h"

namespace glyphwork {

namespace {

// Reads config.json and every pack aside and derives chat's rules from them,
// then puts all of it in effect together. Anything that fails on the way (a
// file, the file system, a wrong type that a delivery would meet, which
// covers every one the texture loading would meet) throws before anything
// in effect has changed.
void ReadDocuments() {
  nlohmann::json config = ReadConfigFile();
  ScannedPacks packs = ScanPacks(config);
  auto rules = std::make_unique<ChatRules>(config, packs.document, packs.files, ConfigFileShown());
  if (const std::string* wrong_type = rules->wrong_type()) throw std::runtime_error(*wrong_type);
  const std::optional<usage::UsageSettings> usage = ReadUsageSettingsOf(config);
  UseDocuments(std::move(config), std::move(packs));
  UseChatRules(std::move(rules));
  // A start-up that failed installed nothing; the hooks go in before any
  // writer thread can start.
  InstallChatHook();
  InstallWorldEndHook();
  UpdateEmojiListCommand();
  UseUsageSettings(usage);
}

// The reload, then `on_success`, inside one handler: a failure is logged once
// and skips what follows. A texture loading that fails keeps the new
// documents: they were checked already.
template <typename OnSuccess>
void Reload(OnSuccess&& on_success) {
  try {
    ReadDocuments();
    LoadEmojiAssets();
    on_success();
  } catch (const std::exception& error) {
    HostLog()->error("Failed to read config! {}", error.what());
  }
}

}  // namespace

void OnReloadConsoleCommand(APlayerController* player, FString*, bool) {
  if (player == nullptr) return;
  Reload([player] {
    FString reply("Reloaded Config!");
    FString sender("Server");
    game::ClientServerChatDirectMessage(reinterpret_cast<AShooterPlayerController*>(player), reply,
                                        FLinearColor{0, 1, 0, 1}, false, sender);
  });
}

void OnReloadRconCommand(RCONClientConnection* connection, RCONPacket* packet, UWorld*) {
  FString reply;
  Reload([&reply] { reply = FString("Reloaded Config!"); });
  game::SendRconMessage(connection, packet->Id, 0, reply);
}

}  // namespace glyphwork
