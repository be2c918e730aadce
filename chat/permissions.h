#pragma once

#include <API/ARK/Ark.h>

namespace glyphwork {

// The permissions library is a plugin of the host's, which the host may
// unload and load again (at another address) between two deliveries: its
// function is found anew in each delivery that asks, at the first question,
// and never kept longer. Called at the start of each delivery.
void ForgetPermissionsLibrary();

// Permissions::IsPlayerInGroup. Where the library is not loaded the player is
// in no group, and one error line says so, once while it stays away and again
// after the documents change (a reload).
bool IsPlayerInGroup(const FString& player_id, const FString& group);

}  // namespace glyphwork
