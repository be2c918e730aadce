// The usage counts of a cluster's servers in one MariaDB or MySQL database,
// through MariaDB Connector/C.
#include <errmsg.h>
#include <mysql.h>

#include <memory>

#include "usage/day.h"
#include "usage/store.h"

namespace glyphwork::usage {

namespace {

// Every call is bounded, so that the last flush at unload ends in time
// however the database behaves.
constexpr unsigned kConnectSeconds = 3;
constexpr unsigned kReadSeconds = 5;
constexpr unsigned kWriteSeconds = 5;
// Rows per INSERT, well under the server's smallest packet limit.
constexpr size_t kRowsPerInsert = 500;

const char* const kSchema[] = {
    "CREATE TABLE IF NOT EXISTS glyphwork_schema (id INT NOT NULL PRIMARY KEY, version INT NOT NULL)"
    " ENGINE=InnoDB",
    "CREATE TABLE IF NOT EXISTS glyphwork_usage (day CHAR(10) NOT NULL, server VARCHAR(64) NOT NULL,"
    " code VARCHAR(200) NOT NULL, pack VARCHAR(200) NOT NULL, messages BIGINT NOT NULL,"
    " PRIMARY KEY (day, server, code, pack)) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_bin",
    "CREATE TABLE IF NOT EXISTS glyphwork_batches (batch CHAR(32) NOT NULL PRIMARY KEY, day CHAR(10) NOT NULL)"
    " ENGINE=InnoDB DEFAULT CHARSET=ascii COLLATE=ascii_bin",
    "INSERT IGNORE INTO glyphwork_schema (id, version) VALUES (1, 1)",
};
static_assert(kSchemaVersion == 1, "kSchema writes version 1");

class MysqlStore final : public Store {
 public:
  explicit MysqlStore(const UsageSettings& settings) : server_(settings.mysql->server) {
    const MysqlSettings& mysql = *settings.mysql;
    where_ = settings.Database();
    mysql_ = mysql_init(nullptr);
    if (mysql_ == nullptr) throw StoreError(where_ + ": out of memory");
    mysql_options(mysql_, MYSQL_OPT_CONNECT_TIMEOUT, &kConnectSeconds);
    mysql_options(mysql_, MYSQL_OPT_READ_TIMEOUT, &kReadSeconds);
    mysql_options(mysql_, MYSQL_OPT_WRITE_TIMEOUT, &kWriteSeconds);
    mysql_options(mysql_, MYSQL_SET_CHARSET_NAME, "utf8mb4");
    if (mysql_real_connect(mysql_, mysql.host.c_str(), mysql.user.empty() ? nullptr : mysql.user.c_str(),
                           mysql.password.c_str(), mysql.database.c_str(), mysql.port, nullptr, 0) == nullptr) {
      const std::string why = mysql_error(mysql_);
      mysql_close(mysql_);
      throw StoreError(where_ + ": " + why);
    }
    try {
      for (const char* statement : kSchema) Query(statement);
      const auto version = Select("SELECT version FROM glyphwork_schema WHERE id = 1");
      if (!version.empty()) CheckSchemaVersion(where_, std::stoll(version.front().front()));
    } catch (...) {
      mysql_close(mysql_);
      throw;
    }
  }
  ~MysqlStore() override { mysql_close(mysql_); }

  bool HasBatch(const std::string& batch) override {
    return !Select("SELECT 1 FROM glyphwork_batches WHERE batch = " + Quote(batch)).empty();
  }

  void Write(const std::string& batch, int64_t today, const std::vector<Row>& rows) override {
    Query("START TRANSACTION");
    try {
      for (size_t first = 0; first < rows.size(); first += kRowsPerInsert) {
        std::string insert = "INSERT INTO glyphwork_usage (day, server, code, pack, messages) VALUES ";
        for (size_t i = first; i < rows.size() && i < first + kRowsPerInsert; ++i) {
          const Row& row = rows[i];
          if (i > first) insert += ", ";
          insert += "(" + Quote(DayText(row.day)) + ", " + Quote(server_) + ", " + Quote(row.code) + ", " +
                    Quote(row.pack) + ", " + std::to_string(row.messages) + ")";
        }
        Query(insert + " ON DUPLICATE KEY UPDATE messages = messages + VALUES(messages)");
      }
      Query("INSERT INTO glyphwork_batches (batch, day) VALUES (" + Quote(batch) + ", " + Quote(DayText(today)) + ")");
      Query("DELETE FROM glyphwork_batches WHERE day < " + Quote(DayText(today - kBatchDays)));
    } catch (...) {
      // The server drops the transaction with the connection, if that is what failed.
      mysql_query(mysql_, "ROLLBACK");
      throw;
    }
    if (mysql_query(mysql_, "COMMIT") != 0) {
      // A client error (2000 and up) is a connection that broke: the commit
      // may have been done. A server error means it was refused.
      throw StoreError(where_ + ": " + mysql_error(mysql_), mysql_errno(mysql_) >= CR_MIN_ERROR);
    }
  }

  std::vector<Row> Read(int64_t first_day, bool per_server) override {
    const std::string from = Quote(DayText(first_day));
    const auto result =
        Select(per_server ? "SELECT day, server, code, pack, messages FROM glyphwork_usage WHERE day >= " + from +
                                " ORDER BY day, server, code, pack"
                          : "SELECT day, '', code, pack, SUM(messages) FROM glyphwork_usage WHERE day >= " + from +
                                " GROUP BY day, code, pack ORDER BY day, code, pack");
    std::vector<Row> rows;
    for (const auto& fields : result) {
      const std::optional<int64_t> day = DayFromText(fields[0]);
      if (!day) continue;  // not ours: the tables are open to hand edits
      rows.push_back({*day, fields[1], fields[2], fields[3], std::stoull(fields[4])});
    }
    return rows;
  }

 private:
  void Query(const std::string& statement) {
    if (mysql_real_query(mysql_, statement.data(), static_cast<unsigned long>(statement.size())) != 0) {
      throw StoreError(where_ + ": " + mysql_error(mysql_));
    }
  }

  // Every row of a SELECT, NULL as "".
  std::vector<std::vector<std::string>> Select(const std::string& statement) {
    Query(statement);
    MYSQL_RES* result = mysql_store_result(mysql_);
    if (result == nullptr) throw StoreError(where_ + ": " + mysql_error(mysql_));
    std::vector<std::vector<std::string>> rows;
    const unsigned fields = mysql_num_fields(result);
    while (MYSQL_ROW row = mysql_fetch_row(result)) {
      const unsigned long* lengths = mysql_fetch_lengths(result);
      std::vector<std::string>& out = rows.emplace_back();
      for (unsigned i = 0; i < fields; ++i) out.emplace_back(row[i] ? row[i] : "", row[i] ? lengths[i] : 0);
    }
    mysql_free_result(result);
    return rows;
  }

  std::string Quote(const std::string& text) {
    std::string quoted(text.size() * 2 + 3, '\0');
    quoted[0] = '\'';
    const unsigned long length =
        mysql_real_escape_string(mysql_, quoted.data() + 1, text.data(), static_cast<unsigned long>(text.size()));
    quoted.resize(length + 1);
    return quoted + '\'';
  }

  std::string server_;
  std::string where_;
  MYSQL* mysql_ = nullptr;
};

}  // namespace

std::unique_ptr<Store> OpenMysqlStore(const UsageSettings& settings) { return std::make_unique<MysqlStore>(settings); }

// The thread's part only: mysql_library_end would tear down the connector for
// another plugin of the same process that shares the library.
void ReleaseStoreLibraries() { mysql_thread_end(); }

}  // namespace glyphwork::usage
