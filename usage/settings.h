// config.json's Usage block: whether emoji usage is counted, how often the
// counts are written, and into which database.
#pragma once

#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace glyphwork::usage {

// Longest texts the database keeps: a code or pack name longer than this is
// counted under a shortened key, and a longer server name is refused.
inline constexpr size_t kMaxNameLength = 200;
inline constexpr size_t kMaxServerLength = 64;

struct MysqlSettings {
  std::string host = "localhost";
  unsigned port = 3306;
  std::string user;
  std::string password;  // from Password, or the first line of PasswordFile
  std::string database = "glyphwork";
  std::string server;  // this server's name in the shared rows

  bool operator==(const MysqlSettings&) const = default;
};

struct UsageSettings {
  bool enabled = false;
  int flush_seconds = 60;
  std::filesystem::path sqlite;  // the SQLite file, when there is no Mysql block
  std::string sqlite_shown;      // as messages name it
  std::optional<MysqlSettings> mysql;

  bool operator==(const UsageSettings&) const = default;
  // The database as messages name it: the SQLite file, or "MySQL
  // user@host:port/database".
  std::string Database() const;
};

inline constexpr const char* kDefaultSqliteFile = "usage.sqlite3";

struct SettingsProblem {
  bool error = true;  // false: a warning, which the plugin ignores
  std::string key;    // the key's path, e.g. "Usage.Mysql.Port"
  std::string message;
};

// Reads the Usage block of `config` (a relative Sqlite or PasswordFile is in
// `plugin_folder`; `plugin_folder_shown` names that folder in messages).
// Null when there is no Usage key, or when an error was found; every problem
// found, errors (wrong types, values out of range, a password file that
// cannot be read) and warnings (what loads but is likely a mistake), goes
// into `problems` in key order. Never throws but for allocation.
std::optional<UsageSettings> ParseUsageSettings(const nlohmann::json& config,
                                                const std::filesystem::path& plugin_folder,
                                                const std::string& plugin_folder_shown,
                                                std::vector<SettingsProblem>& problems);

// The plugin's reading: null without a Usage key; throws DocumentError
// "FILE: KEY: message" for the first error, as every reader of config.json.
std::optional<UsageSettings> ReadUsageSettings(const nlohmann::json& config, const std::string& config_file,
                                               const std::filesystem::path& plugin_folder,
                                               const std::string& plugin_folder_shown);

}  // namespace glyphwork::usage
