#pragma once

#include <API/ARK/Ark.h>

namespace glyphwork {

// Permissions::IsPlayerInGroup, bound at the first call. When the library
// cannot be bound the player is in no group, and one error line says so until
// the documents change (a reload), when binding is tried again.
bool IsPlayerInGroup(const FString& player_id, const FString& group);

}  // namespace glyphwork
