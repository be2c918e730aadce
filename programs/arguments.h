// What the programs ask of the platform: their command line as UTF-8 text,
// which is how every name they hand on (folders, files) is read, and their
// own folder. One implementation file per platform.
#pragma once

#include <string>
#include <vector>

namespace glyphwork {

// The arguments, the program's own name first. Linux: argv as it is. Windows:
// the wide command line encoded, since argv holds it in the ANSI code page,
// which loses every character outside that page.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// The folder of the running program's file, as UTF-8; empty when the
// platform does not say.
std::string ProgramFolder();

}  // namespace glyphwork
