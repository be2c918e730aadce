#include <filesystem>

#include "common/utf8_path.h"
#include "programs/arguments.h"

namespace glyphwork {

std::vector<std::string> Utf8Arguments(int argc, char** argv) { return std::vector<std::string>(argv, argv + argc); }

std::string ProgramFolder() {
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : Utf8FromPath(program.parent_path());
}

}  // namespace glyphwork
