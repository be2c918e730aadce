// glyphwork-check's part in emoji usage: the Usage block's keys, checked as
// the plugin reads them, and --usage, the report of the usage database the
// folder's config.json names.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "programs/check/report.h"

namespace glyphwork::check {

// Findings for config.json's Usage block (none without one). REQUIRES: the
// stand-in host started on the server folder.
void CheckUsageKeys(Report& report, const std::string& config_file, const nlohmann::json& config);

struct UsageOptions {
  std::string root = ".";
  int days = 30;
  bool json = false;
  // Also write the report as one HTML page to this file (a UTF-8 name).
  std::string html;
};

// Reads the server folder's config.json and packs as the plugin does, then
// the usage database they name, only reading it, and prints per code the
// messages, the days used, the last day used and the pack, per server and in
// total for a cluster's database, and the configured codes no message used;
// a database nothing was counted into yet reads as empty, and says so. With
// `html`, it writes the page first, and prints the same report after it.
// Returns the exit status: 0, or 3 when it could not run (no config.json, no
// Usage block, a database that does not answer, a page it cannot write), with
// the reason on standard error.
int RunUsageReport(const UsageOptions& options);

}  // namespace glyphwork::check
