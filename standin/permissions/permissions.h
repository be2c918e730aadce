// The stand-in of the host's permissions library: group membership per player
// id, set by the server program and the tests.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "plugin/api/asa_api.h"

namespace Permissions {

ASAAPI_API bool IsPlayerInGroup(const FString& player_id, const FString& group);

namespace StandIn {
ASAAPI_API void AddToGroup(const std::string& player_id, const std::string& group);
ASAAPI_API void RemoveFromGroup(const std::string& player_id, const std::string& group);
ASAAPI_API void Clear();
// The IsPlayerInGroup calls since the last take, as "<player id>|<group>":
// the latest kKeptChecks of them, so that a long-running server stays flat.
inline constexpr std::size_t kKeptChecks = 1000;
ASAAPI_API std::vector<std::string> TakeChecks();
// Whether calls are recorded for TakeChecks (they are unless a benchmark, to
// time the plugin and not the record, says otherwise).
ASAAPI_API void RecordChecks(bool record);
}  // namespace StandIn

}  // namespace Permissions
