// The host's permissions library, a plugin of its own (ArkApi/Plugins/
// Permissions/), loaded after plugins that come before it in folder order.
#pragma once

#include <API/ARK/Ark.h>

#ifdef _WIN32
#ifdef PERMISSIONS_EXPORTS
#define PERMISSIONS_API __declspec(dllexport)
#else
#define PERMISSIONS_API __declspec(dllimport)
#endif
#else
#define PERMISSIONS_API __attribute__((visibility("default")))
#endif

namespace Permissions {

// True when the player, by the id GetUniqueNetIdAsString gives (the EOS id),
// is in the group.
PERMISSIONS_API bool IsPlayerInGroup(const FString& eos_id, const FString& group);

}  // namespace Permissions
