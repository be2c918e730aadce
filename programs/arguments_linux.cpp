#include "programs/arguments.h"

namespace glyphwork {

std::vector<std::string> Utf8Arguments(int argc, char** argv) { return std::vector<std::string>(argv, argv + argc); }

}  // namespace glyphwork
