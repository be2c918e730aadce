#include <dlfcn.h>

#include <filesystem>

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
  return error ? std::filesystem::path(info.dli_fname).wstring() : path.wstring();
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
