// The usage counts of a cluster's servers in one MariaDB or MySQL database,
// through MariaDB Connector/C.
#include <errmsg.h>
#include <mysql.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "platform/platform.h"
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
// A row lock waited on longer than this fails the statement on the server,
// before the client's read time-out would break the connection.
constexpr unsigned kLockWaitSeconds = 3;
// How far two readings of the server's start may differ and still be the
// same run of it (they are taken a second apart at most).
constexpr long long kSameStartSeconds = 3;
constexpr unsigned kLockWaitTimeout = 1205;  // ER_LOCK_WAIT_TIMEOUT
constexpr unsigned kDuplicateKey = 1062;     // ER_DUP_ENTRY

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

// A database the writer has not made its tables in yet.
constexpr unsigned kNoSuchTable = 1146;  // ER_NO_SUCH_TABLE

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
  }
  ~MysqlStore() override { mysql_close(mysql_); }

  void Prepare() override {
    for (const char* statement : kSchema) Query(statement);
    const auto version = Select("SELECT version FROM glyphwork_schema WHERE id = 1");
    if (!version.empty()) CheckSchemaVersion(where_, std::stoll(version.front().front()));
    Query("SET SESSION innodb_lock_wait_timeout = " + std::to_string(kLockWaitSeconds));
    session_ = std::to_string(ServerStart()) + " " + std::to_string(mysql_thread_id(mysql_));
  }

  // Instead of Prepare, to read alone: whether the writer made its tables
  // yet, asked with a SELECT, so that an account with SELECT alone will do;
  // throws StoreError for a schema newer than this one.
  bool HasSchema() {
    std::vector<std::vector<std::string>> version;
    try {
      version = Select("SELECT version FROM glyphwork_schema WHERE id = 1");
    } catch (const StoreError&) {
      if (mysql_errno(mysql_) == kNoSuchTable) return false;
      throw;
    }
    if (!version.empty()) CheckSchemaVersion(where_, std::stoll(version.front().front()));
    return true;
  }

  std::string Session() const override { return session_; }

  // shutdown() wakes a thread blocked on the socket, where closing it would
  // not, and leaves the descriptor to mysql_close.
  void Interrupt() override { platform::ShutDownSocket(static_cast<uint64_t>(mysql_get_socket(mysql_))); }

  // A commit that went unanswered may still be on its way (a partition: the
  // kernel retransmits it for minutes), so the connection that sent it is
  // ended first, where the server still runs it: a connection may end its
  // own user's others. Ended or not, its transaction holds the batch's row
  // until it commits or rolls back, which this write's insert of the same
  // row waits for: then it finds the row (it arrived) or takes its place.
  std::optional<bool> Write(const std::string& batch, int64_t today, const std::vector<Row>& rows,
                            const std::string& session, std::vector<std::pair<Row, std::string>>* refused) override {
    EndSession(session);
    Query("START TRANSACTION");
    try {
      // The batch's row first: until this transaction ends, its lock holds
      // back any other write of the same batch.
      if (mysql_query(mysql_, ("INSERT INTO glyphwork_batches (batch, day) VALUES (" + Quote(batch) + ", " +
                               Quote(DayText(today)) + ")")
                                  .c_str()) != 0) {
        const unsigned error = mysql_errno(mysql_);
        if (error == kDuplicateKey || error == kLockWaitTimeout) {
          mysql_query(mysql_, "ROLLBACK");
          if (error == kDuplicateKey) return false;
          return std::nullopt;
        }
        throw StoreError(where_ + ": " + mysql_error(mysql_));
      }
      for (size_t first = 0; first < rows.size(); first += kRowsPerInsert) {
        const size_t end = (std::min)(rows.size(), first + kRowsPerInsert);
        try {
          Add(rows, first, end);
        } catch (const StoreError&) {
          // A failed statement leaves the transaction open: the rows go in
          // one by one, and those the server refuses are left out.
          if (refused == nullptr || !RowRefused(mysql_errno(mysql_))) throw;
          for (size_t i = first; i < end; ++i) {
            try {
              Add(rows, i, i + 1);
            } catch (const StoreError& failure) {
              if (!RowRefused(mysql_errno(mysql_))) throw;
              refused->emplace_back(rows[i], mysql_error(mysql_));
            }
          }
        }
      }
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
    return true;
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
  // Adds rows [first, end) in one statement.
  void Add(const std::vector<Row>& rows, size_t first, size_t end) {
    std::string insert = "INSERT INTO glyphwork_usage (day, server, code, pack, messages) VALUES ";
    for (size_t i = first; i < end; ++i) {
      const Row& row = rows[i];
      if (i > first) insert += ", ";
      insert += "(" + Quote(DayText(row.day)) + ", " + Quote(server_) + ", " + Quote(row.code) + ", " +
                Quote(row.pack) + ", " + std::to_string(row.messages) + ")";
    }
    Query(insert + " ON DUPLICATE KEY UPDATE messages = messages + VALUES(messages)");
  }

  // The server's errors about a value in a row, which the other rows do not
  // share (a table made by hand in another character set, a narrower column).
  static bool RowRefused(unsigned error) {
    for (const unsigned value : {1048u, 1264u, 1265u, 1292u, 1300u, 1366u, 1406u}) {
      if (error == value) return true;
    }
    return false;
  }

  // Ends the connection of `session` if the server still runs it, in the
  // same run (connection ids start again with the server).
  void EndSession(const std::string& session) {
    long long start = 0;
    unsigned long id = 0;
    if (std::sscanf(session.c_str(), "%lld %lu", &start, &id) != 2 || id == mysql_thread_id(mysql_)) return;
    if (std::llabs(ServerStart() - start) > kSameStartSeconds) return;
    const std::string kill = "KILL CONNECTION " + std::to_string(id);
    mysql_real_query(mysql_, kill.data(), static_cast<unsigned long>(kill.size()));  // gone already: fine
  }

  // When the server started, in its own clock's seconds.
  long long ServerStart() {
    const auto now = Select("SELECT UNIX_TIMESTAMP()");
    const auto uptime = Select("SHOW GLOBAL STATUS LIKE 'Uptime'");
    if (now.empty() || uptime.empty() || uptime.front().size() < 2) throw StoreError(where_ + ": no server uptime");
    return std::stoll(now.front().front()) - std::stoll(uptime.front()[1]);
  }

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
  std::string session_;  // "<server start> <connection id>"
  MYSQL* mysql_ = nullptr;
};

}  // namespace

std::unique_ptr<Store> OpenMysqlStore(const UsageSettings& settings) { return std::make_unique<MysqlStore>(settings); }

std::unique_ptr<Store> OpenMysqlStoreForReading(const UsageSettings& settings) {
  // The constructor only connects.
  auto store = std::make_unique<MysqlStore>(settings);
  if (!store->HasSchema()) return nullptr;
  return store;
}

// The thread's part only: mysql_library_end would tear down the connector for
// another plugin of the same process that shares the library.
void ReleaseStoreLibraries() { mysql_thread_end(); }

}  // namespace glyphwork::usage
