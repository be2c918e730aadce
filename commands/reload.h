// "Glyphwork.Reload" on the game console and over RCON: read config.json,
// scan the packs, load the textures, in that order.
#pragma once

#include <API/ARK/Ark.h>

namespace glyphwork {

// Does nothing for a null player. On success the player alone gets
// "Reloaded Config!" in opaque green from "Server"; on failure nothing, and
// HostLog gets "Failed to read config! <error>".
void OnReloadConsoleCommand(APlayerController* player, FString* command, bool);

// Always answers the request exactly once: "Reloaded Config!" or "".
void OnReloadRconCommand(RCONClientConnection* connection, RCONPacket* packet, UWorld* world);

}  // namespace glyphwork
