// The stand-in of the host's permissions library: group membership per player
// id, set by the server program and the tests through these functions of its
// own beside the library's Permissions.h.
#pragma once

#include <Permissions.h>

#include <cstddef>
#include <string>
#include <vector>

namespace Permissions {

namespace StandIn {
PERMISSIONS_API void AddToGroup(const std::string& player_id, const std::string& group);
PERMISSIONS_API void RemoveFromGroup(const std::string& player_id, const std::string& group);
PERMISSIONS_API void Clear();
// The IsPlayerInGroup calls since the last take, as "<player id>|<group>":
// the latest kKeptChecks of them, so that a long-running server stays flat.
inline constexpr std::size_t kKeptChecks = 1000;
PERMISSIONS_API std::vector<std::string> TakeChecks();
// Whether calls are recorded for TakeChecks (they are unless a benchmark, to
// time the plugin and not the record, says otherwise).
PERMISSIONS_API void RecordChecks(bool record);
}  // namespace StandIn

}  // namespace Permissions

// AddToGroup and RemoveFromGroup under plain names, for a program that does
// not link the library but finds it where the host loaded it as a plugin
// (the dev server): UTF-8 player id and group.
extern "C" PERMISSIONS_API void StandInAddToGroup(const char* player_id, const char* group);
extern "C" PERMISSIONS_API void StandInRemoveFromGroup(const char* player_id, const char* group);
