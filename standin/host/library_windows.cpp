#include <windows.h>

#include "common/utf8_path.h"
#include "standin/host/library.h"

namespace standin::library {

namespace {
std::string FileOf(HMODULE module) {
  wchar_t buffer[32768] = {};
  const DWORD length = GetModuleFileNameW(module, buffer, 32768);
  return glyphwork::Utf8FromPath(std::filesystem::path(std::wstring(buffer, length)));
}
}  // namespace

struct Library {
  HMODULE module;
};

Library* Open(const std::string& path, std::string* error) {
  HMODULE module = LoadLibraryExW(glyphwork::PathFromUtf8(path).c_str(), nullptr, 0);
  if (module == nullptr) {
    *error = "LoadLibraryExW failed, error " + std::to_string(GetLastError());
    return nullptr;
  }
  return new Library{module};
}

void* Symbol(Library* library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(library->module, name));
}

void Close(Library* library) {
  FreeLibrary(library->module);
  delete library;
}

std::string ModulePath(Library* library) { return FileOf(library->module); }

std::string ModuleOf(const void* address) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          static_cast<LPCWSTR>(address), &module)) {
    return {};
  }
  return FileOf(module);
}

std::string Suffix() { return ".dll"; }

std::string HostNarrowText(const std::string& utf8) {
  const std::wstring wide = glyphwork::PathFromUtf8(utf8).wstring();
  if (wide.empty()) return {};
  const int size = WideCharToMultiByte(CP_ACP, 0, wide.data(), int(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string narrow(size_t(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), int(wide.size()), narrow.data(), size, nullptr, nullptr);
  return narrow;
}

}  // namespace standin::library
