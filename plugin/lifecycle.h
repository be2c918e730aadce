// Load and Unload: the order in which the plugin starts and stops.
#pragma once

#include <API/ARK/Ark.h>

#include "common/plugin_name.h"

namespace glyphwork {

// Starts the plugin: the reload commands first, then config.json and the
// packs, and with them in effect the game hooks, the texture loading (on the
// host's timer), the emoji list command and usage counting. A configuration
// or pack that cannot be read is written to HostLog with one more line
// saying the plugin is not running: it then has the reload commands alone,
// and the first reload that succeeds starts the rest. Throws only what the
// host's own calls throw.
void Load();
// Stops usage counting (its commands, and its writer thread after a last
// flush), then removes the game hooks, the emoji list command and the reload
// commands, whatever Load got to.
void Unload();

// Plugin_Init's and Plugin_Unload's work. No exception leaves them.
void StartPlugin() noexcept;
void StopPlugin() noexcept;

}  // namespace glyphwork
