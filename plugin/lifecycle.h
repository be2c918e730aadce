// Load and Unload: the order in which the plugin starts and stops.
#pragma once

#include "plugin/api/asa_api.h"

namespace glyphwork {

inline constexpr const char* kPluginName = "Glyphwork";

// "Glyphwork.Reload", the name of both reload commands. Made at static
// initialisation, before Load.
extern const FString ReloadCommandName;

// Starts the plugin. Throws what a step throws; a failed configuration read is
// written to HostLog first.
void Load();
// Removes the RCON command, the console command and the chat hook, whatever
// Load got to.
void Unload();

// The library entry's work for one notification: 1 attach, 0 detach, 2 and 3
// thread notifications (nothing). No exception leaves it: a failed attach is
// written to HostLog (once) and reported as false.
bool OnEntryNotification(int reason) noexcept;

}  // namespace glyphwork
