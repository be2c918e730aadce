#include <windows.h>
// After windows.h, which it needs.
#include <API/ARK/Ark.h>
#include <shellapi.h>

#include <filesystem>

#include "common/utf8_path.h"
#include "programs/arguments.h"

namespace glyphwork {

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(AsaApi::Tools::Utf8Encode(wide[i]));
  LocalFree(wide);
  return arguments;
}

std::string ProgramFolder() {
  wchar_t buffer[32768] = {};
  const DWORD length = GetModuleFileNameW(nullptr, buffer, 32768);
  if (length == 0 || length == 32768) return {};
  return Utf8FromPath(std::filesystem::path(std::wstring(buffer, length)).parent_path());
}

}  // namespace glyphwork
