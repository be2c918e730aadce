// The few services the plugin needs from the operating system itself. One
// implementation file per platform; the build compiles exactly one.
#pragma once

#include <string>

#include "plugin/api/asa_api.h"

namespace glyphwork::platform {

// Full path of the plugin's own library file, found from an address inside it
// without changing the library's reference count.
std::wstring ModuleFilePath();

// Binds Permissions::IsPlayerInGroup from the host's permissions library,
// loading it if need be. Null when it cannot be bound; `error` then says why.
Permissions::IsPlayerInGroupFn BindIsPlayerInGroup(std::string* error);

}  // namespace glyphwork::platform
