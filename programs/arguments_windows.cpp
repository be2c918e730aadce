#include <windows.h>
// After windows.h, which it needs.
#include <API/ARK/Ark.h>
#include <shellapi.h>

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

}  // namespace glyphwork
