// The programs' command line as UTF-8 text, which is how every name they hand
// on (folders, files) is read. One implementation file per platform.
#pragma once

#include <string>
#include <vector>

namespace glyphwork {

// The arguments, the program's own name first. Linux: argv as it is. Windows:
// the wide command line encoded, since argv holds it in the ANSI code page,
// which loses every character outside that page.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

}  // namespace glyphwork
