// A MariaDB server of a test's own, from Debian's mariadb-server: a fresh
// data folder, a loopback port nobody else uses, a database and a user for
// Glyphwork; stopped (by its own id) with the object. For tests and soaks
// that need the database to come and go.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tests/devserver/process.h"

namespace glyphwork::testing {

class MariaDbServer {
 public:
  static constexpr const char* kDatabase = "glyphwork";
  static constexpr const char* kUser = "glyphwork";
  static constexpr const char* kPassword = "usage-test";

  // Makes the data folder and starts the server; `error()` says why not.
  MariaDbServer();
  ~MariaDbServer();
  MariaDbServer(const MariaDbServer&) = delete;
  MariaDbServer& operator=(const MariaDbServer&) = delete;

  // Started, and set up for the Glyphwork user.
  bool running() const { return server_ != nullptr && error_.empty(); }
  const std::string& error() const { return error_; }
  int port() const { return port_; }
  // The server's process, -1 when it is not running.
  int pid() const;

  // Stops the server (SIGTERM, as an admin's shutdown does) and starts it
  // again on the same data and port. False with error() set on failure.
  bool Stop();
  bool Start();

  // Rows of a query as the Glyphwork user, each row's fields joined by
  // blanks; throws std::runtime_error with the server's message.
  std::vector<std::string> Query(const std::string& sql) const;

  // The Usage block for config.json that counts into this server as `name`,
  // its password in `password_file` (relative to the plugin's folder).
  std::string UsageConfig(const std::string& name, const std::string& password_file, int flush_seconds) const;

 private:
  bool WaitUntilAnswering();
  std::string TemporaryFolder() const { return (folder_.path() / "tmp").string(); }
  std::string DataFolder() const { return (folder_.path() / "data").string(); }

  TempFolder folder_;
  int port_ = 0;
  std::unique_ptr<ChildProcess> server_;
  std::string error_;
};

}  // namespace glyphwork::testing
