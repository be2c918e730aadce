#include <windows.h>

#include "plugin/platform.h"

namespace glyphwork::platform {

namespace {
void AddressInPlugin() {}
}  // namespace

std::wstring ModuleFilePath() {
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&AddressInPlugin), &module);
  wchar_t buffer[260] = {};
  GetModuleFileNameW(module, buffer, 260);
  return buffer;
}

Permissions::IsPlayerInGroupFn BindIsPlayerInGroup(std::string* error) {
  HMODULE library = GetModuleHandleW(L"Permissions.dll");
  if (library == nullptr) library = LoadLibraryW(L"Permissions.dll");
  if (library == nullptr) {
    if (error) *error = "Permissions.dll could not be loaded";
    return nullptr;
  }
  FARPROC symbol = GetProcAddress(library, Permissions::kIsPlayerInGroupSymbol);
  if (symbol == nullptr) {
    if (error) *error = "Permissions.dll has no IsPlayerInGroup";
    return nullptr;
  }
  return reinterpret_cast<Permissions::IsPlayerInGroupFn>(reinterpret_cast<void*>(symbol));
}

}  // namespace glyphwork::platform
