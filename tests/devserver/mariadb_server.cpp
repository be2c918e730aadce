#include "tests/devserver/mariadb_server.h"

#include <fmt/format.h>
#include <mysql.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>
#include <thread>

namespace glyphwork::testing {

namespace fs = std::filesystem;

namespace {

// A port the system just handed out on loopback: free, and likely to stay
// so for the moment it takes the server to bind it.
int FreeLoopbackPort() {
  const int probe = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  close(probe);
  return port;
}

struct Connection {
  MYSQL* mysql = mysql_init(nullptr);
  ~Connection() { mysql_close(mysql); }
};

}  // namespace

MariaDbServer::MariaDbServer() {
  // A temporary folder of its own: servers of tests that run side by side
  // must not meet in /tmp (a bootstrap failed on another's temporary table).
  std::error_code ignored;
  fs::create_directories(folder_.path() / "tmp", ignored);
  const Finished install =
      RunProgram({"mariadb-install-db", "--no-defaults", "--datadir=" + DataFolder(), "--user=root",
                  "--auth-root-authentication-method=normal", "--skip-test-db", "--tmpdir=" + TemporaryFolder()},
                 std::chrono::seconds(120));
  if (install.exit_code != 0) {
    error_ = "mariadb-install-db failed: " + install.out + install.err;
    return;
  }
  port_ = FreeLoopbackPort();
  if (!Start()) return;
  Connection root;
  if (mysql_real_connect(root.mysql, "127.0.0.1", "root", nullptr, nullptr, unsigned(port_), nullptr, 0) == nullptr) {
    error_ = std::string("root cannot connect: ") + mysql_error(root.mysql);
    return;
  }
  for (const std::string& statement : {fmt::format("CREATE DATABASE {}", kDatabase),
                                       fmt::format("CREATE USER '{}'@'127.0.0.1' IDENTIFIED BY '{}'", kUser, kPassword),
                                       fmt::format("GRANT ALL ON {}.* TO '{}'@'127.0.0.1'", kDatabase, kUser)}) {
    if (mysql_query(root.mysql, statement.c_str()) != 0) {
      error_ = statement + ": " + mysql_error(root.mysql);
      return;
    }
  }
}

MariaDbServer::~MariaDbServer() { Stop(); }

bool MariaDbServer::Start() {
  server_ = std::make_unique<ChildProcess>(std::vector<std::string>{
      "mariadbd", "--no-defaults", "--datadir=" + DataFolder(), "--user=root", "--port=" + std::to_string(port_),
      "--bind-address=127.0.0.1", "--tmpdir=" + TemporaryFolder(), "--socket=" + (folder_.path() / "socket").string(),
      "--pid-file=" + (folder_.path() / "pid").string(), "--log-error=" + (folder_.path() / "error.log").string(),
      "--skip-name-resolve", "--skip-log-bin", "--max-connections=50", "--table-open-cache=200",
      "--innodb-buffer-pool-size=16M", "--innodb-log-file-size=8M"});
  if (!server_->Started() || !WaitUntilAnswering()) {
    error_ = "mariadbd did not start; see " + (folder_.path() / "error.log").string();
    server_.reset();
    return false;
  }
  return true;
}

bool MariaDbServer::Stop() {
  if (!server_) return true;
  kill(server_->pid(), SIGTERM);
  int exit_code = -1;
  server_->ReadToEnd(&exit_code, std::chrono::seconds(60));
  server_.reset();
  return exit_code == 0;
}

bool MariaDbServer::WaitUntilAnswering() {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < deadline) {
    Connection probe;
    if (mysql_real_connect(probe.mysql, "127.0.0.1", "root", nullptr, nullptr, unsigned(port_), nullptr, 0)) {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

std::vector<std::string> MariaDbServer::Query(const std::string& sql) const {
  Connection connection;
  if (mysql_real_connect(connection.mysql, "127.0.0.1", kUser, kPassword, kDatabase, unsigned(port_), nullptr, 0) ==
          nullptr ||
      mysql_query(connection.mysql, sql.c_str()) != 0) {
    throw std::runtime_error(sql + ": " + mysql_error(connection.mysql));
  }
  std::vector<std::string> rows;
  MYSQL_RES* result = mysql_store_result(connection.mysql);
  if (result == nullptr) return rows;
  while (MYSQL_ROW row = mysql_fetch_row(result)) {
    std::string line;
    for (unsigned i = 0; i < mysql_num_fields(result); ++i) {
      if (i > 0) line += " ";
      line += row[i] ? row[i] : "NULL";
    }
    rows.push_back(line);
  }
  mysql_free_result(result);
  return rows;
}

int MariaDbServer::pid() const { return server_ ? server_->pid() : -1; }

std::string MariaDbServer::UsageConfig(const std::string& name, const std::string& password_file,
                                       int flush_seconds) const {
  return fmt::format(
      R"({{"Enabled": true, "FlushSeconds": {}, "Mysql": {{"Host": "127.0.0.1", "Port": {}, "User": "{}",)"
      R"( "PasswordFile": "{}", "Database": "{}", "Server": "{}"}}}})",
      flush_seconds, port_, kUser, password_file, kDatabase, name);
}

}  // namespace glyphwork::testing
