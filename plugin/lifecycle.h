// Load and Unload: the order in which the plugin starts and stops.
#pragma once

#include <API/ARK/Ark.h>

#include "common/plugin_name.h"

namespace glyphwork {

// "Glyphwork.Reload", the name of both reload commands. Made at static
// initialisation, before Load.
extern const FString ReloadCommandName;

// Starts the plugin. Throws what a step throws; a failed configuration read is
// written to HostLog first.
void Load();
// Removes the RCON command, the console command, the emoji list command and
// the chat hook, whatever Load got to, then stops usage counting (its
// commands, and its writer thread after a last flush).
void Unload();

// Plugin_Init's and Plugin_Unload's work. No exception leaves them: a failed
// Load is written to HostLog (once) and leaves what it did in place, which
// StopPlugin takes away.
void StartPlugin() noexcept;
void StopPlugin() noexcept;

}  // namespace glyphwork
