#include "programs/devserver/options.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <vector>

#include <CLI/CLI.hpp>

#include "common/utf8_path.h"
#include "programs/arguments.h"
#include "programs/devserver/dev_server.h"
#include "programs/version.h"

namespace devserver {

namespace {

constexpr const char* kProgram = "glyphwork-devserver";

int Fail(const std::string& message) {
  std::cerr << kProgram << ": " << message << "\n";
  return kUsage;
}

void Describe(CLI::App& app, Options& options, std::string& password_file) {
  app.add_option("--root", options.root, "the server folder (default: the working directory)")->type_name("DIR");
  app.add_option("--plugin", options.plugin,
                 "the plugin library to load (default: the one in the server folder's plugin folder, or, when it "
                 "has none, the stand-in plugin in standin-plugin/ beside this program)")
      ->type_name("FILE");
  app.add_option("--script", options.script, "read commands from FILE instead of standard input")->type_name("FILE");
  app.add_option("--rcon-port", options.rcon_port, "open an RCON port (0: any free one); it needs a password")
      ->type_name("N")
      ->check(CLI::Range(0, 65535));
  auto* file = app.add_option("--rcon-password-file", password_file, "the RCON password is the first line of FILE")
                   ->type_name("FILE");
  app.add_option("--rcon-password", options.rcon_password,
                 std::string("the RCON password itself. Other users of the machine can read it in the process list: "
                             "prefer --rcon-password-file or ") +
                     kPasswordVariable)
      ->type_name("TEXT")
      ->excludes(file);
  app.add_option("--rcon-bind", options.rcon_bind, "the address the RCON port listens on (default: 127.0.0.1)")
      ->type_name("ADDR");
  app.add_option("--rcon-idle-timeout", options.rcon_idle_timeout,
                 "close a logged-in RCON client that sends nothing for SECONDS (default: " +
                     std::to_string(options.rcon_idle_timeout) + "; 0: never)")
      ->type_name("SECONDS")
      ->check(CLI::Range(0, 24 * 3600));
  app.set_version_flag("--version", std::string(kProgram) + " " + glyphwork::kVersion, "print the version and exit");
  app.set_help_flag("-h,--help", "print this help and exit");
  app.footer(std::string("Without --rcon-password-file or --rcon-password, the RCON password is taken from the "
                         "environment variable ") +
             kPasswordVariable + ".\n\n" + kCommands +
             "\nExit status: 0 after quit or the end of input, 2 after that when a plugin failed to load, 1 when the "
             "server cannot start (the RCON port, the script), 64 a mistake in the command line.");
}

// The RCON password from the file, the option or the environment, in that
// order. Empty when there is none, with the reason in `problem`.
std::string Password(const Options& options, const std::string& password_file, bool option_given,
                     std::string* problem) {
  if (!password_file.empty()) {
    std::ifstream in(glyphwork::PathFromUtf8(password_file), std::ios::binary);
    std::string line;
    if (!in || (!std::getline(in, line) && !in.eof())) {
      *problem = "cannot read the RCON password file " + password_file;
      return {};
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) *problem = "the first line of " + password_file + " is empty: no RCON password";
    return line;
  }
  std::string password = options.rcon_password;
  if (!option_given) {
    const char* variable = std::getenv(kPasswordVariable);
    password = variable ? variable : "";
  }
  if (password.empty()) {
    *problem = std::string("--rcon-port needs a password: --rcon-password-file FILE, ") + kPasswordVariable +
               " or --rcon-password; the RCON port is not opened without one";
  }
  return password;
}

}  // namespace

std::optional<int> ParseOptions(int argc, char** argv, Options* options) {
  CLI::App app(
      "The stand-in host and game with the Glyphwork plugin loaded from a server folder, driven by "
      "command lines and by RCON clients.",
      kProgram);
  std::string password_file;
  Describe(app, *options, password_file);
  try {
    // CLI11 reads the words as given; on Windows these are the wide command
    // line's, encoded, so every name keeps its characters.
    const std::vector<std::string> arguments = glyphwork::Utf8Arguments(argc, argv);
    std::vector<const char*> words;
    for (const std::string& argument : arguments) words.push_back(argument.c_str());
    app.parse(static_cast<int>(words.size()), words.data());
  } catch (const CLI::CallForHelp&) {
    std::cout << app.help();
    return 0;
  } catch (const CLI::CallForVersion&) {
    std::cout << app.version() << "\n";
    return 0;
  } catch (const CLI::ParseError& error) {
    return Fail(std::string(error.what()) + " (--help lists the options)");
  }
  if (options->rcon_port >= 0) {
    std::string problem;
    options->rcon_password = Password(*options, password_file, app.count("--rcon-password") > 0, &problem);
    if (!problem.empty()) return Fail(problem);
  }
  std::error_code error;
  if (!std::filesystem::is_directory(glyphwork::PathFromUtf8(options->root), error)) return Fail("no server folder " + options->root);
  return std::nullopt;
}

}  // namespace devserver
