#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

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
  // As the live host loads a plugin: from the folder's text in the ANSI code
  // page, widened one byte to one unit; the plugin's folder joins the DLL
  // search path for the rest of the process; the library loads with the
  // default directories and those.
  constexpr DWORD kSearch = LOAD_LIBRARY_SEARCH_DEFAULT_DIRS | LOAD_LIBRARY_SEARCH_USER_DIRS;
  static const bool search_set = SetDefaultDllDirectories(kSearch) != FALSE;
  (void)search_set;
  std::wstring wide;
  for (const char byte : HostNarrowText(path)) wide += byte == '/' ? L'\\' : wchar_t(static_cast<unsigned char>(byte));
  AddDllDirectory(wide.substr(0, wide.find_last_of(L'\\')).c_str());
  HMODULE module = LoadLibraryExW(wide.c_str(), nullptr, kSearch);
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

int ThreadCount() {
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  int count = 0;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
  }
  CloseHandle(snapshot);
  return count;
}

std::string HostNarrowText(const std::string& utf8) {
  const std::wstring wide = glyphwork::PathFromUtf8(utf8).wstring();
  if (wide.empty()) return {};
  const int size = WideCharToMultiByte(CP_ACP, 0, wide.data(), int(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string narrow(size_t(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), int(wide.size()), narrow.data(), size, nullptr, nullptr);
  return narrow;
}

}  // namespace standin::library
