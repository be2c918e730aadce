// Loading a plugin library the way the platform does: the load delivers the
// attach notification and the unload the detach one. The one platform
// service the stand-in host needs; one file per platform.
#pragma once

#include <functional>
#include <string>

namespace standin::library {

struct Plugin;

// Loads the library and delivers attach. Null when it cannot be loaded or its
// attach failed; the library is then detached and closed again, and `error`
// says why. After a failed attach `on_failed_attach` runs: before the library
// closes where the platform allows (false), else after (true: its code gone).
Plugin* Load(const std::string& path, std::string* error, const std::function<void(bool code_gone)>& on_failed_attach);
// Delivers detach and closes the library.
void Unload(Plugin* plugin);
// Delivers a thread notification (2 attach, 3 detach); the entry's result.
bool NotifyThread(Plugin* plugin, int reason);
// The library's file as the platform reports it.
std::string ModulePath(Plugin* plugin);
// ".so" or ".dll".
std::string Suffix();

}  // namespace standin::library
