// The host's command tables. A registered name is matched against the first
// word of a console line, an RCON body or a chat line, letter case ignored;
// the first match runs and takes the line. RCON commands run only for
// authenticated connections. The host copies every name and callback it is
// given.
#pragma once

#include <API/ARK/GameTypes.h>
#include <API/Base.h>

#include <functional>

namespace AsaApi {

class ICommands {
 public:
  virtual ~ICommands() = default;

  // The handler gets the player, the whole chat line, the chat mode and the
  // sender's platform. A line the same player sent less than a second after
  // their previous one is dropped before any command sees it.
  virtual void AddChatCommand(const FString& command,
                              const std::function<void(AShooterPlayerController*, FString*, int, int)>& callback) = 0;
  // The handler gets the player, the line (emptied after the handler, before
  // the game's own console handler runs on it) and a flag of the game's.
  virtual void AddConsoleCommand(const FString& command,
                                 const std::function<void(APlayerController*, FString*, bool)>& callback) = 0;
  virtual void AddRconCommand(const FString& command,
                              const std::function<void(RCONClientConnection*, RCONPacket*, UWorld*)>& callback) = 0;
  // Called every game tick with the time since the last.
  virtual void AddOnTickCallback(const FString& id, const std::function<void(float)>& callback) = 0;
  // Called once a second.
  virtual void AddOnTimerCallback(const FString& id, const std::function<void()>& callback) = 0;
  // Called for every chat line before the commands; true drops the line.
  virtual void AddOnChatMessageCallback(
      const FString& id,
      const std::function<bool(AShooterPlayerController*, FString*, int, int, bool, bool)>& callback) = 0;

  // False when nothing was registered under the name.
  virtual bool RemoveChatCommand(const FString& command) = 0;
  virtual bool RemoveConsoleCommand(const FString& command) = 0;
  virtual bool RemoveRconCommand(const FString& command) = 0;
  virtual bool RemoveOnTickCallback(const FString& id) = 0;
  virtual bool RemoveOnTimerCallback(const FString& id) = 0;
  virtual bool RemoveOnChatMessageCallback(const FString& id) = 0;
};

ARK_API ICommands& APIENTRY GetCommands();

}  // namespace AsaApi
