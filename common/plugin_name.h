#pragma once

namespace glyphwork {

// Names the plugin's folder, its log and its reload command.
inline constexpr const char* kPluginName = "Glyphwork";

}  // namespace glyphwork
