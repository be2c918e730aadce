#include "programs/check/usage_report.h"

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <iostream>
#include <map>
#include <set>

#include "chat/chat_rules.h"
#include "common/utf8_path.h"
#include "config/config.h"
#include "programs/check/usage_page.h"
#include "standin/host/host_control.h"
#include "usage/day.h"
#include "usage/settings.h"
#include "usage/store.h"
#include "usage/tally.h"

namespace glyphwork::check {

namespace {

using nlohmann::json;

constexpr const char* kUsageFails = "at start-up usage is not counted; a reload keeps the previous files";
constexpr int kCouldNotRun = 3;
// A database with no tables yet (or no SQLite file) reads as an empty one,
// with this said.
constexpr const char* kNothingCounted = "no usage counted yet (the plugin creates its tables at its first write)";

std::string FolderShown(const std::string& config_file) {
  // Either separator: a Windows path has backslashes.
  return config_file.substr(0, config_file.find_last_of("/\\") + 1);
}

struct CodeLine {
  usage::Key key;
  uint64_t messages = 0;
  std::set<int64_t> days;
};

// Per key, in order of messages (most first), then code and pack.
std::vector<CodeLine> Lines(const std::vector<usage::Row>& rows) {
  std::map<usage::Key, CodeLine> by_key;
  for (const usage::Row& row : rows) {
    CodeLine& line = by_key[{row.code, row.pack}];
    line.key = {row.code, row.pack};
    line.messages += row.messages;
    if (row.messages > 0) line.days.insert(row.day);
  }
  std::vector<CodeLine> lines;
  for (auto& [key, line] : by_key) {
    if (line.messages > 0) lines.push_back(std::move(line));
  }
  std::stable_sort(lines.begin(), lines.end(),
                   [](const CodeLine& a, const CodeLine& b) { return a.messages > b.messages; });
  return lines;
}

std::string Shown(const usage::Key& key) { return key.code + " (" + key.pack + ")"; }

std::string TextTable(const std::vector<CodeLine>& lines) {
  if (lines.empty()) return "  no message used an emoji\n";
  std::string out = "  messages  days  last used   code (pack)\n";
  for (const CodeLine& line : lines) {
    out += fmt::format("  {:>8}  {:>4}  {}  {}\n", line.messages, line.days.size(), usage::DayText(*line.days.rbegin()),
                       Shown(line.key));
  }
  return out;
}

json JsonCodes(const std::vector<CodeLine>& lines) {
  json codes = json::array();
  for (const CodeLine& line : lines) {
    codes.push_back({{"code", line.key.code},
                     {"pack", line.key.pack},
                     {"messages", line.messages},
                     {"days", line.days.size()},
                     {"last_used", usage::DayText(*line.days.rbegin())}});
  }
  return codes;
}

int CannotRun(const std::string& why) {
  std::cerr << "glyphwork-check: --usage: " << why << "\n";
  return kCouldNotRun;
}

// The reason when `html` could not be written to `file`, or empty.
std::string WritePage(const std::string& file, const std::string& html) {
  errno = 0;
  std::ofstream out(PathFromUtf8(file), std::ios::binary | std::ios::trunc);
  if (out) out.write(html.data(), static_cast<std::streamsize>(html.size()));
  if (out) out.close();
  if (out) return "";
  const int error = errno;
  return "cannot write the page to " + file + (error != 0 ? ": " + std::generic_category().message(error) : "");
}

}  // namespace

void CheckUsageKeys(Report& report, const std::string& config_file, const json& config) {
  std::vector<usage::SettingsProblem> problems;
  usage::ParseUsageSettings(config, GetConfigPath().parent_path(), FolderShown(config_file), problems);
  for (const usage::SettingsProblem& problem : problems) {
    report.Add(problem.error ? Severity::kError : Severity::kWarning, config_file, problem.key,
               problem.error ? problem.message + " (" + kUsageFails + ")" : problem.message);
  }
}

int RunUsageReport(const UsageOptions& options) {
  standin::StartHost({.server_dir = options.root, .console_sink = false, .log_file = false});
  struct StopHost {
    ~StopHost() { standin::StopHost(); }
  } stop_host;
  const std::string config_file = Utf8FromPath(GetConfigPath().lexically_normal());
  std::optional<usage::UsageSettings> settings;
  try {
    ReadConfig();
    settings =
        usage::ReadUsageSettings(ConfigDocument, config_file, GetConfigPath().parent_path(), FolderShown(config_file));
  } catch (const std::exception& error) {
    return CannotRun(error.what());
  }
  if (!settings) return CannotRun(config_file + " has no Usage block: no database is named");

  // The codes the folder configures, as the plugin would read its packs.
  std::vector<usage::Key> configured;
  std::string packs_note;
  try {
    LoadPacks();
    const ChatRules rules(ConfigDocument, PackDocument, PackFiles, config_file);
    if (const std::string* wrong = rules.wrong_type()) throw std::runtime_error(*wrong);
    configured = usage::ConfiguredKeys(rules, usage::PackNames(PackFiles));
  } catch (const std::exception& error) {
    packs_note = std::string("the packs do not load, no codes to list as never used: ") + error.what();
  }

  const int64_t today = usage::Today();
  const int64_t first = today - options.days + 1;
  std::vector<usage::Row> rows;
  bool nothing_counted = false;
  try {
    // Read-only: run before the server's first start, or with an account
    // that may only SELECT, it must leave the database as it found it.
    if (const std::unique_ptr<usage::Store> store = usage::OpenStoreForReading(*settings)) {
      rows = store->Read(first, true);
    } else {
      nothing_counted = true;
    }
  } catch (const usage::StoreError& error) {
    return CannotRun(error.what());
  }
  usage::ReleaseStoreLibraries();

  std::map<std::string, std::vector<usage::Row>> by_server;
  for (const usage::Row& row : rows) by_server[row.server].push_back(row);
  const std::vector<CodeLine> total = Lines(rows);
  std::set<usage::Key> used;
  for (const CodeLine& line : total) used.insert(line.key);
  std::vector<usage::Key> never;
  for (const usage::Key& key : configured) {
    if (used.count(key) == 0) never.push_back(key);
  }
  const bool cluster = settings->mysql.has_value();

  if (!options.html.empty()) {
    UsagePage page{.heading = fmt::format("Emoji usage, last {} day{}", options.days, options.days == 1 ? "" : "s"),
                   .database = settings->Database(),
                   .first_day = first,
                   .last_day = today,
                   .cluster = cluster,
                   .rows = rows,
                   .never_used = never,
                   .configured = configured.size(),
                   .notes = {},
                   .never_note = packs_note};
    if (nothing_counted) page.notes.push_back(kNothingCounted);
    if (const std::string failed = WritePage(options.html, UsagePageHtml(page)); !failed.empty()) {
      return CannotRun(failed);
    }
  }

  if (options.json) {
    json servers = json::array();
    if (cluster) {
      for (const auto& [server, server_rows] : by_server) {
        servers.push_back({{"server", server}, {"codes", JsonCodes(Lines(server_rows))}});
      }
    }
    json never_codes = json::array();
    for (const usage::Key& key : never) never_codes.push_back({{"code", key.code}, {"pack", key.pack}});
    json report = {{"database", settings->Database()},
                   {"days", options.days},
                   {"from", usage::DayText(first)},
                   {"to", usage::DayText(today)},
                   {"total", {{"servers", by_server.size()}, {"codes", JsonCodes(total)}}},
                   {"never_used", {{"configured", configured.size()}, {"codes", never_codes}}}};
    if (cluster) report["servers"] = servers;
    if (!packs_note.empty()) report["note"] = packs_note;
    if (nothing_counted) report["no_usage_counted_yet"] = true;
    std::cout << report.dump(2, ' ', false, json::error_handler_t::replace) << "\n";
    return 0;
  }

  std::string out =
      fmt::format("Emoji usage, last {} day{} ({} to {} UTC), from {}:\n", options.days, options.days == 1 ? "" : "s",
                  usage::DayText(first), usage::DayText(today), settings->Database());
  if (nothing_counted) out += std::string(kNothingCounted) + "\n";
  if (cluster) {
    for (const auto& [server, server_rows] : by_server) {
      out += fmt::format("server {}:\n", server.empty() ? "(no name)" : server);
      out += TextTable(Lines(server_rows));
    }
    out += fmt::format("all {} server{}:\n", by_server.size(), by_server.size() == 1 ? "" : "s");
  }
  out += TextTable(total);
  if (!packs_note.empty()) {
    out += "note: " + packs_note + "\n";
  } else {
    out +=
        fmt::format("never used in these {} day{}: {} of {} configured code{}\n", options.days,
                    options.days == 1 ? "" : "s", never.size(), configured.size(), configured.size() == 1 ? "" : "s");
    for (const usage::Key& key : never) out += "  " + Shown(key) + "\n";
  }
  std::cout << out;
  return 0;
}

}  // namespace glyphwork::check
