#include "commands/reload.h"

#include <exception>

#include "assets/emoji_assets.h"
#include "config/config.h"
#include "log/log.h"
#include "plugin/api/game.h"

namespace glyphwork {

namespace {

// Runs the three steps and then `on_success`, inside one handler: a failure
// of any of them is logged once and skips what follows.
template <typename OnSuccess>
void Reload(OnSuccess&& on_success) {
  try {
    ReadConfig();
    LoadPacks();
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
  game::SendMessage(connection, packet->Id, 0, reply);
}

}  // namespace glyphwork
