#include <windows.h>

#include <thread>

#include "common/utf8_path.h"
#include "plugin/api/asa_api.h"
#include "standin/host/library.h"

namespace standin::library {

struct Plugin {
  HMODULE module;
};

Plugin* Load(const std::string& path, std::string* error, const std::function<void(bool)>& on_failed_attach) {
  // LoadLibraryW runs DllMain's attach; a FALSE from it fails the load, and
  // Windows detaches and unloads the library itself.
  HMODULE module = LoadLibraryW(glyphwork::PathFromUtf8(path).c_str());
  if (module == nullptr) {
    const DWORD code = GetLastError();
    if (code == ERROR_DLL_INIT_FAILED) {
      on_failed_attach(true);
      *error = "its attach failed";
    } else {
      *error = "LoadLibraryW failed, error " + std::to_string(code);
    }
    return nullptr;
  }
  return new Plugin{module};
}

void Unload(Plugin* plugin) {
  FreeLibrary(plugin->module);
  delete plugin;
}

bool NotifyThread(Plugin*, int) {
  // Windows delivers thread notifications itself: a thread that starts and
  // ends gives every library one attach and one detach.
  std::thread([] {}).join();
  return true;
}

std::string ModulePath(Plugin* plugin) {
  wchar_t buffer[32768] = {};
  GetModuleFileNameW(plugin->module, buffer, 32768);
  return AsaApi::Tools::Utf8Encode(buffer);
}

std::string Suffix() { return ".dll"; }

}  // namespace standin::library
