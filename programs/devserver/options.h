// glyphwork-devserver's command line. CLI11 parses it in options.cpp alone:
// its templates cost more to compile than the rest of the program.
#pragma once

#include <optional>
#include <string>

#include "programs/devserver/rcon_server.h"

namespace devserver {

// The exit status of a mistake in the command line, as glyphwork-check's.
inline constexpr int kUsage = 64;

// The environment variable that may hold the RCON password.
inline constexpr const char* kPasswordVariable = "GLYPHWORK_RCON_PASSWORD";

struct Options {
  std::string root = ".";
  std::string plugin;  // empty: the one in the server folder's plugin folder, else the stand-in plugin
  std::string script;  // empty: standard input
  int rcon_port = -1;  // -1: no RCON port
  // When a port is asked for: from --rcon-password-file, --rcon-password or
  // the environment, in that order; never empty.
  std::string rcon_password;
  std::string rcon_bind = "127.0.0.1";
  int rcon_idle_timeout = static_cast<int>(rcon::Server::kDefaultIdleTimeout.count());  // seconds; 0: never
};

// Reads the command line into `options`. Nothing when the program is to run;
// else the exit status, after --help or --version was printed on standard
// output (0) or a line saying what is wrong on standard error (kUsage).
// Checks that the server folder exists and reads the password file.
std::optional<int> ParseOptions(int argc, char** argv, Options* options);

}  // namespace devserver
