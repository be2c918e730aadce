#include <dlfcn.h>

#include <filesystem>

#include "common/utf8_path.h"
#include "plugin/platform.h"

namespace glyphwork::platform {

namespace {
void AddressInPlugin() {}
}  // namespace

std::wstring ModuleFilePath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&AddressInPlugin), &info) == 0 || info.dli_fname == nullptr) return {};
  std::error_code error;
  const auto path = std::filesystem::absolute(info.dli_fname, error);
  // The name is taken to be UTF-8, as every name the plugin handles: path's
  // own wstring() would go by the C library's locale, which knows no
  // character beyond ASCII unless the host sets one.
  return AsaApi::Tools::Utf8Decode(error ? std::string(info.dli_fname) : glyphwork::Utf8FromPath(path));
}

Permissions::IsPlayerInGroupFn BindIsPlayerInGroup(std::string* error) {
  // The host has normally loaded the library already; dlopen then only finds it.
  void* library = dlopen("libPermissions.so", RTLD_NOW | RTLD_GLOBAL);
  if (library == nullptr) {
    const char* text = dlerror();
    if (error) *error = text ? text : "libPermissions.so not found";
    return nullptr;
  }
  void* symbol = dlsym(library, Permissions::kIsPlayerInGroupSymbol);
  if (symbol == nullptr) {
    const char* text = dlerror();
    if (error) *error = text ? text : "IsPlayerInGroup not found";
    return nullptr;
  }
  return reinterpret_cast<Permissions::IsPlayerInGroupFn>(symbol);
}

}  // namespace glyphwork::platform
