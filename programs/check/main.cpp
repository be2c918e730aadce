// glyphwork-check: validates a server's Glyphwork configuration and packs with
// the plugin's own code, and previews chat.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>

#include "programs/check/check.h"

namespace {

// Exit status of a check that could not run; 0, 1 and 2 are the verdicts.
constexpr int kUsageStatus = 3;

constexpr const char* kUsage =
    "usage: glyphwork-check [--root DIR] [--content DIR] [--json] [--say TEXT]...\n"
    "  --root DIR     the server folder (default: the current folder)\n"
    "  --content DIR  a folder laid out as ShooterGame/Content: report each object path that does not load\n"
    "                 (default: ShooterGame/Content under --root, when there is one)\n"
    "  --json         print the findings as JSON\n"
    "  --say TEXT     print TEXT as a permitted player receives it in chat (repeatable)\n"
    "exit status: 0 clean, 1 warnings only, 2 errors, 3 the check could not run\n";

}  // namespace

int main(int argc, char** argv) {
  glyphwork::check::Options options;
  bool as_json = false;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    const bool has_value = i + 1 < argc;
    if (argument == "--json") {
      as_json = true;
    } else if (argument == "--help" || argument == "-h") {
      std::cout << kUsage;
      return 0;
    } else if (has_value && argument == "--root") {
      options.root = argv[++i];
    } else if (has_value && argument == "--content") {
      options.content = argv[++i];
    } else if (has_value && argument == "--say") {
      options.say.push_back(argv[++i]);
    } else {
      std::cerr << "glyphwork-check: unexpected argument: " << argument << "\n" << kUsage;
      return kUsageStatus;
    }
  }
  std::error_code error;
  // The server's own content, when the folder has it.
  if (const std::string own = options.root + "/ShooterGame/Content";
      options.content.empty() && std::filesystem::is_directory(own, error)) {
    options.content = own;
  }
  if (!options.content.empty() && !std::filesystem::is_directory(options.content, error)) {
    std::cerr << "glyphwork-check: --content " << options.content << ": not a folder\n";
    return kUsageStatus;
  }

  try {
    const glyphwork::check::Report report = glyphwork::check::RunCheck(options);
    if (as_json) {
      // Names may hold any bytes; the JSON text must stay valid UTF-8.
      std::cout << glyphwork::check::ToJson(report).dump(2, ' ', false, nlohmann::json::error_handler_t::replace)
                << "\n";
    } else {
      std::cout << glyphwork::check::FormatText(report);
    }
    return report.ExitStatus();
  } catch (const std::exception& failure) {
    std::cerr << "glyphwork-check: " << failure.what() << "\n";
    return kUsageStatus;
  }
}
