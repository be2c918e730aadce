// glyphwork-check: validates a server's Glyphwork configuration and packs with
// the plugin's own code, and previews chat.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "common/utf8_path.h"
#include "programs/arguments.h"
#include "programs/check/check.h"
#include "programs/check/usage_report.h"
#include "programs/version.h"
#include "standin/host/host_control.h"

namespace {

namespace fs = std::filesystem;
using glyphwork::PathFromUtf8;

// Exit statuses besides the verdicts 0 (clean), 1 (warnings) and 2 (errors).
constexpr int kCouldNotRun = 3;
constexpr int kUsage = 64;
// --content's word for "do not check the textures".
constexpr const char* kNoContent = "none";

// When --root names another folder than a server folder, what to say; empty
// when it looks right. A wrong --root otherwise only shows as config.json not
// found on a path with ShooterGame/ twice or not at all.
std::string RootHint(const std::string& root) {
  std::error_code error;
  const fs::path folder = PathFromUtf8(root);
  if (fs::exists(folder / standin::kBinariesFolder / "ArkApi", error)) return "";
  const auto up = [&](int levels) {
    fs::path path = folder;
    for (int i = 0; i < levels; ++i) path /= "..";
    std::string text = glyphwork::Utf8FromPath(path.lexically_normal());
    if (text.size() > 1 && (text.back() == '/' || text.back() == '\\')) text.pop_back();
    return text;
  };
  const std::string takes = "--root takes the server folder, the one that holds ShooterGame/";
  if (fs::exists(folder / "ArkApi", error)) {
    return "--root: " + root + " holds ArkApi/ itself, as the folder of the server's executable (" +
           standin::kBinariesFolder + ") does; " + takes + ": try --root " + up(3);
  }
  if (fs::exists(folder / "config.json", error) || fs::exists(folder / "Packs", error)) {
    return "--root: " + root + " looks like the plugin's own folder (it holds " +
           (fs::exists(folder / "config.json", error) ? "config.json" : "Packs/") + "); " + takes + ": try --root " +
           up(6);
  }
  if (fs::exists(folder / "Binaries", error) || fs::exists(folder / "Content", error)) {
    return "--root: " + root + " looks like the ShooterGame folder itself (it holds " +
           (fs::exists(folder / "Binaries", error) ? "Binaries/" : "Content/") + "); " + takes + ": try --root " +
           up(1);
  }
  if (fs::exists(folder / "ShooterGame", error)) return "";
  // A server folder one level down, as when the check runs beside the kit.
  std::vector<std::string> below;
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    std::error_code status;
    if (fs::is_directory(entry.path() / "ShooterGame", status)) {
      below.push_back(glyphwork::Utf8FromPath((folder / entry.path().filename()).lexically_normal()));
    }
  }
  std::sort(below.begin(), below.end());
  return "--root: " + root + " holds no ShooterGame/ folder; " + takes +
         (below.empty() ? std::string() : ": try --root " + below.front());
}

// CLI::ExistingDirectory, with its messages, for a name that is UTF-8 text:
// CLI11 hands the name to the file system as a plain std::string. `word`, when
// given, is taken as it stands.
CLI::Validator ExistingFolder(const char* word = nullptr) {
  return CLI::Validator(
      [word](std::string& name) -> std::string {
        if (word != nullptr && name == word) return "";
        std::error_code error;
        const fs::file_status status = fs::status(PathFromUtf8(name), error);
        if (error || !fs::exists(status)) return "Directory does not exist: " + name;
        if (!fs::is_directory(status)) return "Directory is actually a file: " + name;
        return "";
      },
      "DIR");
}

}  // namespace

int main(int argc, char** argv) {
  glyphwork::check::Options options;
  bool as_json = false;
  CLI::App app(
      "Checks a server folder's Glyphwork files, config.json and the packs, with the plugin's own code, and "
      "previews chat. Changes nothing.",
      "glyphwork-check");
  app.set_version_flag("--version", std::string("glyphwork-check ") + glyphwork::kVersion,
                       "print the version and exit");
  app.set_help_flag("-h,--help", "print this help and exit");
  app.add_option("--root", options.root, "the server folder, the one that holds ShooterGame/ (default: .)")
      ->check(ExistingFolder())
      ->option_text("DIR");
  app.add_option("--content", options.content,
                 "a folder laid out as ShooterGame/Content: report each texture that does not load from it "
                 "(default: the server folder's own ShooterGame/Content; without one, a warning says the textures "
                 "were not checked); none: check the files alone")
      ->check(ExistingFolder(kNoContent))
      ->option_text("DIR|none");
  app.add_flag("--json", as_json, "print the findings, previews and summary as one JSON document");
  app.add_option("--say", options.say,
                 "print TEXT as a player in the first of PermissionsGroups (while UsePermissions is on) and the "
                 "--group ones receives it (repeatable)")
      ->allow_extra_args(false)
      ->type_name("TEXT");
  app.add_option("--group", options.groups,
                 "put the --say player in this permission group too, as for packs with Groups (repeatable)")
      ->allow_extra_args(false)
      ->type_name("GROUP");
  app.add_flag("--no-default-group", options.no_default_group,
               "leave the --say player out of the first of PermissionsGroups: only in the --group ones");
  bool usage = false;
  int days = 30;
  auto* usage_flag = app.add_flag("--usage", usage,
                                  "print how often each emoji code was used, from the usage database config.json "
                                  "names (per server and in total for a cluster's), and the codes never used");
  app.add_option("--days", days, "with --usage: the last N days, today included (default: 30)")
      ->check(CLI::Range(1, 100000))
      ->needs(usage_flag)
      ->option_text("N");
  std::string html;
  app.add_option("--html", html,
                 "with --usage: also write the report as one HTML page to FILE, with each code's messages per day "
                 "drawn; it needs nothing but itself to show")
      ->needs(usage_flag)
      ->option_text("FILE");
  app.footer(
      "Exit status: 0 clean, 1 warnings only, 2 errors, 3 the check could not run, 64 a mistake in the "
      "command line.");
  const std::vector<std::string> arguments = glyphwork::Utf8Arguments(argc, argv);
  std::vector<const char*> words;
  for (const std::string& argument : arguments) words.push_back(argument.c_str());
  try {
    app.parse(static_cast<int>(words.size()), words.data());
  } catch (const CLI::ParseError& error) {
    return app.exit(error) == 0 ? 0 : kUsage;
  }
  if (const std::string hint = RootHint(options.root); !hint.empty()) {
    std::cerr << "glyphwork-check: " << hint << "\n";
    return kUsage;
  }
  if (usage) return glyphwork::check::RunUsageReport({options.root, days, as_json, html});
  // The server's own content, when the folder has it; the textures go
  // unchecked only when the admin says so.
  std::error_code error;
  if (options.content == kNoContent) {
    options.content.clear();
  } else if (const std::string own = options.root + "/" + standin::kContentFolder; options.content.empty()) {
    if (fs::is_directory(PathFromUtf8(own), error)) {
      options.content = own;
    } else {
      options.content_missing = glyphwork::Utf8FromPath(PathFromUtf8(own).lexically_normal());
    }
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
    return kCouldNotRun;
  }
}
