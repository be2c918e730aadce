#include "chat/permissions.h"

#include <string>

#include "config/config.h"
#include "log/log.h"
#include "plugin/platform.h"

namespace glyphwork {

namespace {
platform::IsPlayerInGroupFn bound = nullptr;
bool failed = false;
unsigned long failed_generation = 0;
}  // namespace

bool IsPlayerInGroup(const FString& player_id, const FString& group) {
  if (bound == nullptr) {
    // A failed bind is retried only after a reload: a failing dlopen searches
    // the disk, and this runs on the game thread for every delivery.
    if (failed && failed_generation == DocumentsGeneration()) return false;
    std::string error;
    bound = platform::BindIsPlayerInGroup(&error);
    if (bound == nullptr) {
      failed = true;
      failed_generation = DocumentsGeneration();
      PrintError("Permissions library not available, no player counts as in a group: " + error);
      return false;
    }
  }
  return bound(player_id, group);
}

}  // namespace glyphwork
