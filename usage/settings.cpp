#include "usage/settings.h"

#include <fstream>

#include "common/utf8_path.h"
#include "config/reading.h"

namespace glyphwork::usage {

namespace {

using nlohmann::json;

class Reader {
 public:
  explicit Reader(std::vector<SettingsProblem>& problems) : problems_(problems) {}

  void Error(const std::string& key, const std::string& message) { problems_.push_back({true, key, message}); }
  void Warn(const std::string& key, const std::string& message) { problems_.push_back({false, key, message}); }
  bool failed() const { return failed_; }

  // The member's value when it has the wanted type; null when absent or
  // wrong (an error then).
  const json* Member(const json& object, const std::string& path, const char* name, bool (json::*is)() const,
                     const char* expected) {
    const auto it = object.find(name);
    if (it == object.end()) return nullptr;
    if (!((*it).*is)()) {
      Fail(path + "." + name, std::string("expected ") + expected + ", found " + TypeName(*it));
      return nullptr;
    }
    return &*it;
  }
  // A whole number in [low, high].
  std::optional<int64_t> Number(const json& object, const std::string& path, const char* name, int64_t low,
                                int64_t high) {
    const auto it = object.find(name);
    if (it == object.end()) return std::nullopt;
    const bool whole = it->is_number_integer() || it->is_number_unsigned();
    if (!whole || (it->is_number_integer() && it->get<int64_t>() < low) ||
        (it->is_number_unsigned() && it->get<uint64_t>() > uint64_t(high)) ||
        (!it->is_number_unsigned() && it->get<int64_t>() > high)) {
      Fail(path + "." + name, "expected a whole number from " + std::to_string(low) + " to " + std::to_string(high) +
                                  ", found " + (it->is_number() ? it->dump() : TypeName(*it)));
      return std::nullopt;
    }
    return it->get<int64_t>();
  }
  void Fail(const std::string& key, const std::string& message) {
    failed_ = true;
    Error(key, message);
  }
  void WarnUnknown(const json& object, const std::string& path, std::initializer_list<const char*> known) {
    for (auto it = object.begin(); it != object.end(); ++it) {
      bool found = false;
      for (const char* name : known) found = found || it.key() == name;
      if (!found) Warn(path + "." + it.key(), "not a key of " + path + "; ignored");
    }
  }

 private:
  std::vector<SettingsProblem>& problems_;
  bool failed_ = false;
};

std::filesystem::path InFolder(const std::filesystem::path& folder, const std::string& name) {
  const std::filesystem::path path = PathFromUtf8(name);
  return path.is_absolute() ? path : folder / path;
}

MysqlSettings ReadMysql(Reader& reader, const json& block, const std::filesystem::path& folder,
                        const std::string& folder_shown) {
  const std::string path = "Usage.Mysql";
  MysqlSettings mysql;
  reader.WarnUnknown(block, path, {"Host", "Port", "User", "Password", "PasswordFile", "Database", "Server"});
  const auto text = [&](const char* name, std::string& out) {
    const json* value = reader.Member(block, path, name, &json::is_string, "a string");
    if (value != nullptr) out = value->get<std::string>();
    return value != nullptr;
  };
  if (!text("Host", mysql.host) && !block.contains("Host")) {
    reader.Warn(path, "no Host: the database is looked for on this machine (localhost)");
  }
  if (const auto port = reader.Number(block, path, "Port", 1, 65535)) mysql.port = unsigned(*port);
  text("User", mysql.user);
  text("Database", mysql.database);
  const bool has_password = text("Password", mysql.password);
  std::string password_file;
  if (text("PasswordFile", password_file)) {
    if (has_password) reader.Warn(path + ".Password", "both Password and PasswordFile: the file's password is used");
    const std::filesystem::path file = InFolder(folder, password_file);
    std::ifstream in(file, std::ios::binary);
    std::string line;
    if (!in || !std::getline(in, line)) {
      reader.Fail(
          path + ".PasswordFile",
          "cannot read " + (PathFromUtf8(password_file).is_absolute() ? password_file : folder_shown + password_file));
    } else {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      mysql.password = line;
    }
  } else if (has_password) {
    reader.Warn(path + ".Password",
                "the password is written in config.json, where everyone who can read the plugin's folder or its "
                "backups finds it: put it in a file of its own and name that file in PasswordFile");
  }
  if (text("Server", mysql.server)) {
    if (mysql.server.size() > kMaxServerLength) {
      reader.Fail(path + ".Server", "longer than " + std::to_string(kMaxServerLength) + " bytes");
    }
  } else if (!block.contains("Server")) {
    reader.Warn(path, "no Server: this server's rows carry no name, and a cluster's servers cannot be told apart");
  }
  return mysql;
}

}  // namespace

std::string UsageSettings::Database() const {
  if (!mysql) return sqlite_shown;
  return "MySQL " + (mysql->user.empty() ? "" : mysql->user + "@") + mysql->host + ":" + std::to_string(mysql->port) +
         "/" + mysql->database;
}

std::optional<UsageSettings> ParseUsageSettings(const json& config, const std::filesystem::path& plugin_folder,
                                                const std::string& plugin_folder_shown,
                                                std::vector<SettingsProblem>& problems) {
  if (!config.is_object()) return std::nullopt;
  const auto it = config.find("Usage");
  if (it == config.end()) return std::nullopt;
  Reader reader(problems);
  if (!it->is_object()) {
    reader.Fail("Usage", "expected an object, found " + TypeName(*it));
    return std::nullopt;
  }
  const json& block = *it;
  reader.WarnUnknown(block, "Usage", {"Enabled", "FlushSeconds", "Sqlite", "Mysql"});
  UsageSettings settings;
  if (const json* enabled = reader.Member(block, "Usage", "Enabled", &json::is_boolean, "a boolean")) {
    settings.enabled = enabled->get<bool>();
  } else if (!block.contains("Enabled")) {
    reader.Warn("Usage", "no Enabled: nothing is counted (\"Enabled\": true turns counting on)");
  }
  if (const auto seconds = reader.Number(block, "Usage", "FlushSeconds", 1, 86400))
    settings.flush_seconds = int(*seconds);
  std::string sqlite = kDefaultSqliteFile;
  if (const json* file = reader.Member(block, "Usage", "Sqlite", &json::is_string, "a string")) {
    sqlite = file->get<std::string>();
    if (sqlite.empty()) reader.Fail("Usage.Sqlite", "empty: name the database file, or leave the key out");
  }
  settings.sqlite = InFolder(plugin_folder, sqlite);
  settings.sqlite_shown = PathFromUtf8(sqlite).is_absolute() ? sqlite : plugin_folder_shown + sqlite;
  if (const json* mysql = reader.Member(block, "Usage", "Mysql", &json::is_object, "an object")) {
    if (block.contains("Sqlite")) reader.Warn("Usage.Sqlite", "both Sqlite and Mysql: Mysql is used");
    settings.mysql = ReadMysql(reader, *mysql, plugin_folder, plugin_folder_shown);
  }
  if (reader.failed()) return std::nullopt;
  return settings;
}

std::optional<UsageSettings> ReadUsageSettings(const json& config, const std::string& config_file,
                                               const std::filesystem::path& plugin_folder,
                                               const std::string& plugin_folder_shown) {
  std::vector<SettingsProblem> problems;
  std::optional<UsageSettings> settings = ParseUsageSettings(config, plugin_folder, plugin_folder_shown, problems);
  for (const SettingsProblem& problem : problems) {
    if (problem.error) throw DocumentError(config_file, problem.key + ": " + problem.message);
  }
  return settings;
}

}  // namespace glyphwork::usage
