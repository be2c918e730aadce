#include "chat/permissions.h"

#include <string>

#include "config/config.h"
#include "log/log.h"
#include "platform/platform.h"

namespace glyphwork {

namespace {
platform::IsPlayerInGroupFn found = nullptr;
bool looked = false;  // in this delivery
// Said once while the library stays away, and again after a reload.
bool missing_said = false;
unsigned long missing_said_generation = 0;
}  // namespace

void ForgetPermissionsLibrary() {
  looked = false;
  found = nullptr;
}

bool IsPlayerInGroup(const FString& player_id, const FString& group) {
  if (!looked) {
    looked = true;
    std::string error;
    found = platform::FindIsPlayerInGroup(&error);
    if (found != nullptr) {
      missing_said = false;
    } else if (!missing_said || missing_said_generation != DocumentsGeneration()) {
      missing_said = true;
      missing_said_generation = DocumentsGeneration();
      PrintError("Permissions library not available, no player counts as in a group: " + error);
    }
  }
  return found != nullptr && found(player_id, group);
}

}  // namespace glyphwork
