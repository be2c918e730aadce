#include <dlfcn.h>

#include "standin/host/library.h"

namespace standin::library {

struct Plugin {
  void* handle;
  bool (*entry)(int);
  std::string path;
};

Plugin* Load(const std::string& path, std::string* error, const std::function<void(bool)>& on_failed_attach) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* text = dlerror();
    *error = text ? text : "dlopen failed";
    return nullptr;
  }
  auto entry = reinterpret_cast<bool (*)(int)>(dlsym(handle, "PluginEntry"));
  if (entry == nullptr) {
    dlclose(handle);
    *error = "no PluginEntry";
    return nullptr;
  }
  if (!entry(1)) {
    // As Windows does when DllMain fails the attach: detach, then unload.
    entry(0);
    on_failed_attach(false);
    dlclose(handle);
    *error = "its attach failed";
    return nullptr;
  }
  return new Plugin{handle, entry, path};
}

void Unload(Plugin* plugin) {
  plugin->entry(0);
  dlclose(plugin->handle);
  delete plugin;
}

bool NotifyThread(Plugin* plugin, int reason) { return plugin->entry(reason); }

std::string ModulePath(Plugin* plugin) { return plugin->path; }

std::string Suffix() { return ".so"; }

}  // namespace standin::library
