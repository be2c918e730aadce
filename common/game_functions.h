// The game server's functions the plugin calls, each resolved by its decorated
// name through the host at every call and called at once (entries move when
// the game is patched, so none is kept).
#pragma once

#include <API/ARK/Ark.h>

namespace game {

inline constexpr const char* kClientChatMessage = "AShooterPlayerController.ClientChatMessage(FPrimalChatMessage)";
// The world's end: the game mode's EndPlay, as the host's SDK names it. The
// reason is an EEndPlayReason::Type, an int, passed on as it came.
inline constexpr const char* kGameModeEndPlay = "AShooterGameMode.EndPlay(EEndPlayReason::Type)";

using ClientChatMessageFn = void (*)(AShooterPlayerController*, FPrimalChatMessage);

template <typename Fn>
Fn Resolve(const char* name) {
  return reinterpret_cast<Fn>(GetAddress(name));
}

// Fills `id` (made empty by the caller) with the controller's unique net id.
inline void GetUniqueNetIdAsString(AShooterPlayerController* controller, FString* id) {
  Resolve<void (*)(AShooterPlayerController*, FString*)>("AShooterPlayerController.GetUniqueNetIdAsString()")(
      controller, id);
}

inline void ClientServerChatDirectMessage(AShooterPlayerController* controller, FString& text, FLinearColor colour,
                                          bool flag, FString& sender) {
  Resolve<void (*)(AShooterPlayerController*, FString&, FLinearColor, bool, FString&)>(
      "AShooterPlayerController.ClientServerChatDirectMessage(FString&,FLinearColor,bool,FString&)")(
      controller, text, colour, flag, sender);
}

// <windows.h> makes SendMessage a macro: the name says what the game's does.
inline void SendRconMessage(RCONClientConnection* connection, int id, int type, FString& text) {
  Resolve<void (*)(RCONClientConnection*, int, int, FString&)>("RCONClientConnection.SendMessage(int,int,FString&)")(
      connection, id, type, text);
}

inline UClass* StreamableRenderAssetStaticClass() {
  return Resolve<UClass* (*)()>("UStreamableRenderAsset.StaticClass()")();
}

// The game's function takes a package map and an instancing context after
// the flags; the host's SDK passes the first as a number and null for the
// second, and declares neither type.
inline UObject* StaticLoadObject(UClass* object_class, UObject* outer, const wchar_t* name, const wchar_t* filename,
                                 unsigned int load_flags, DWORD64 sandbox, bool allow_reconciliation) {
  using Fn = UObject* (*)(UClass*, UObject*, const wchar_t*, const wchar_t*, unsigned int, DWORD64, bool, void*);
  return Resolve<Fn>(
      "Global.StaticLoadObject(UClass*,UObject*,wchar_t*,wchar_t*,unsignedint,UPackageMap*,bool,"
      "FLinkerInstancingContext*)")(object_class, outer, name, filename, load_flags, sandbox, allow_reconciliation,
                                    nullptr);
}

}  // namespace game
