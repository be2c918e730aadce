// What glyphwork-check found, and its two printed forms: lines for people and
// one JSON document for other tools.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace glyphwork::check {

enum class Severity {
  kError,    // a load or reload fails, or chat or texture loading stops
  kWarning,  // loads, but is almost certainly a mistake
  kNote,     // about the check itself; counts for nothing
};

struct Finding {
  Severity severity = Severity::kError;
  std::string file;  // as the plugin names it; empty when no file is at fault
  int line = 0;      // 1-based where the JSON library gives it, else 0
  int column = 0;
  std::string key;  // the key's path in the file, e.g. RemapEmoji[2].Path
  std::string message;
};

struct Preview {
  std::string text;      // as typed
  std::string received;  // as a permitted player receives it
  // Why codes in `received` stayed text, where permission groups are the cause.
  std::vector<std::string> stays_text;
};

struct Report {
  std::vector<Finding> findings;
  std::vector<Preview> previews;
  std::vector<std::string> preview_groups;  // the previewing player's permission groups
  int packs = 0;                            // pack files in the Packs folder
  int emoji = 0;                            // mapped emoji names, each once
  bool textures_checked = false;            // the plugin's texture loading ran against a content folder

  void Add(Severity severity, const std::string& file, const std::string& key, const std::string& message) {
    findings.push_back({severity, file, 0, 0, key, message});
  }
  int Count(Severity severity) const;
  // 0 clean, 1 warnings only, 2 errors.
  int ExitStatus() const;
};

// "file:line:column: error: key: message" lines, the previews with the
// groups they were made in, then the summary line.
std::string FormatText(const Report& report);
// {"findings": [...], "previews": [...], "preview_groups": [...] (with
// previews only), "summary": {...}, "status": N}.
nlohmann::json ToJson(const Report& report);

}  // namespace glyphwork::check
