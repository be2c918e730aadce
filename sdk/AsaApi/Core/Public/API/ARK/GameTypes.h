// The game's classes and records that a plugin meets. The classes are the
// game's own: a plugin passes pointers to them along and reaches their
// functions by name through GetAddress. The records are laid out as the game
// lays them out (x64, MSVC).
#pragma once

#include "API/UE/BasicTypes.h"
#include "API/UE/Containers/UnrealString.h"

struct UObject;
struct UClass;
struct UWorld;
struct UTexture2D;
struct APlayerController;
struct AShooterPlayerController;
struct AShooterGameMode;
struct RCONClientConnection;

namespace EChatSendMode {
enum Type { GlobalChat, GlobalTribeChat, LocalChat, AllianceChat, MAX };
}

namespace EChatType {
enum Type { GlobalChat, ProximityChat, RadioChat, GlobalTribeChat, AllianceChat, MAX };
}

// One chat message as the game hands it to ClientChatMessage.
struct FPrimalChatMessage {
  FString SenderName;
  FString SenderSteamName;
  FString SenderTribeName;
  unsigned int SenderId = 0;
  FString Message;
  FString Receiver;
  int SenderTeamIndex = 0;
  long double ReceivedTime = 0;  // 8 bytes under MSVC
  TEnumAsByte<EChatSendMode::Type> SendMode;
  unsigned int RadioFrequency = 0;
  TEnumAsByte<EChatType::Type> ChatType;
  UTexture2D* SenderIcon = nullptr;
  uint8 senderPlatform = 0;
  FString UserId;
  uint8 SenderIsAdmin : 1 = 0;
};

// One RCON request as the game's RCON connection reads it.
struct RCONPacket {
  int Length = 0;
  int Id = 0;
  int Type = 0;
  FString Body;
};
