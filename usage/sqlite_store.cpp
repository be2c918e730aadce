// The usage counts of one server in an SQLite file, through the SQLite
// library's C interface.
#include <sqlite3.h>

#include <filesystem>
#include <utility>

#include "common/utf8_path.h"
#include "usage/day.h"
#include "usage/store.h"

namespace glyphwork::usage {

namespace {

// The checker may read the file while the plugin writes: wait this long for
// its lock rather than fail the flush.
constexpr int kBusyMilliseconds = 2000;

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS glyphwork_schema (id INTEGER PRIMARY KEY, version INTEGER NOT NULL);"
    "CREATE TABLE IF NOT EXISTS glyphwork_usage (day CHAR(10) NOT NULL, server VARCHAR(64) NOT NULL,"
    " code VARCHAR(200) NOT NULL, pack VARCHAR(200) NOT NULL, messages BIGINT NOT NULL,"
    " PRIMARY KEY (day, server, code, pack)) WITHOUT ROWID;"
    "CREATE TABLE IF NOT EXISTS glyphwork_batches (batch CHAR(32) NOT NULL PRIMARY KEY, day CHAR(10) NOT NULL);"
    "INSERT OR IGNORE INTO glyphwork_schema (id, version) VALUES (1, 1);";
static_assert(kSchemaVersion == 1, "kSchema writes version 1");

// SQLite's message, but for a file deleted or moved under an open
// connection, which it calls a read-only database.
std::string Why(sqlite3* db) {
  if (sqlite3_extended_errcode(db) == SQLITE_READONLY_DBMOVED) {
    return "the file was deleted or moved while the server ran; the next write makes it anew";
  }
  return sqlite3_errmsg(db);
}

class Statement {
 public:
  Statement(sqlite3* db, const std::string& shown, const char* sql) : db_(db), shown_(shown) {
    if (sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr) != SQLITE_OK) Fail();
  }
  ~Statement() { sqlite3_finalize(statement_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& Bind(int index, const std::string& text) {
    Check(sqlite3_bind_text(statement_, index, text.data(), int(text.size()), SQLITE_TRANSIENT));
    return *this;
  }
  Statement& Bind(int index, int64_t number) {
    Check(sqlite3_bind_int64(statement_, index, number));
    return *this;
  }
  // True while there is a row.
  bool Step() {
    const int result = sqlite3_step(statement_);
    if (result == SQLITE_ROW) return true;
    if (result != SQLITE_DONE) Fail();
    return false;
  }
  void Run() {
    Step();
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
  }
  std::string Text(int column) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
    return text == nullptr ? std::string() : std::string(text, size_t(sqlite3_column_bytes(statement_, column)));
  }
  int64_t Number(int column) { return sqlite3_column_int64(statement_, column); }

 private:
  void Check(int result) {
    if (result != SQLITE_OK) Fail();
  }
  [[noreturn]] void Fail() { throw StoreError(shown_ + ": " + Why(db_)); }

  sqlite3* db_;
  const std::string& shown_;
  sqlite3_stmt* statement_ = nullptr;
};

class SqliteStore final : public Store {
 public:
  explicit SqliteStore(const UsageSettings& settings) : shown_(settings.sqlite_shown) {
    std::error_code ignored;
    std::filesystem::create_directories(settings.sqlite.parent_path(), ignored);
    // SQLite takes UTF-8 names on every platform.
    const std::string name = Utf8FromPath(settings.sqlite);
    const int opened = sqlite3_open_v2(name.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (opened != SQLITE_OK) {
      const std::string why = db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(opened);
      sqlite3_close(db_);
      db_ = nullptr;
      throw StoreError(shown_ + ": " + why);
    }
    sqlite3_busy_timeout(db_, kBusyMilliseconds);
    try {
      Execute(kSchema);
      Statement version(db_, shown_, "SELECT version FROM glyphwork_schema WHERE id = 1");
      if (version.Step()) CheckSchemaVersion(shown_, version.Number(0));
    } catch (...) {
      sqlite3_close(db_);
      throw;
    }
  }
  // A connection OpenSqliteStoreForReading opened, closed with the store.
  SqliteStore(std::string shown, sqlite3* db) : shown_(std::move(shown)), db_(db) {}
  ~SqliteStore() override { sqlite3_close(db_); }

  // Whether the plugin made its tables yet, asked without touching any;
  // throws StoreError for a schema newer than this one.
  bool HasSchema() {
    Statement table(db_, shown_, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'glyphwork_schema'");
    if (!table.Step()) return false;
    Statement version(db_, shown_, "SELECT version FROM glyphwork_schema WHERE id = 1");
    if (version.Step()) CheckSchemaVersion(shown_, version.Number(0));
    return true;
  }

  void Interrupt() override { sqlite3_interrupt(db_); }

  // One writer at a time holds the file: a write that failed is over, so
  // nothing is ever undecided here.
  std::optional<bool> Write(const std::string& batch, int64_t today, const std::vector<Row>& rows, const std::string&,
                            std::vector<std::pair<Row, std::string>>*) override {
    Execute("BEGIN IMMEDIATE");
    try {
      bool known = false;
      {
        Statement find(db_, shown_, "SELECT 1 FROM glyphwork_batches WHERE batch = ?");
        known = find.Bind(1, batch).Step();
      }
      if (known) {
        Execute("ROLLBACK");
        return false;
      }
      Statement record(db_, shown_, "INSERT INTO glyphwork_batches (batch, day) VALUES (?, ?)");
      record.Bind(1, batch).Bind(2, DayText(today)).Run();
      Statement add(db_, shown_,
                    "INSERT INTO glyphwork_usage (day, server, code, pack, messages) VALUES (?, ?, ?, ?, ?)"
                    " ON CONFLICT (day, server, code, pack) DO UPDATE SET messages = messages + excluded.messages");
      for (const Row& row : rows) {
        add.Bind(1, DayText(row.day)).Bind(2, std::string()).Bind(3, row.code).Bind(4, row.pack);
        add.Bind(5, int64_t(row.messages)).Run();
      }
      Statement forget(db_, shown_, "DELETE FROM glyphwork_batches WHERE day < ?");
      forget.Bind(1, DayText(today - kBatchDays)).Run();
      Execute("COMMIT");
    } catch (...) {
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
      throw;
    }
    return true;
  }

  std::vector<Row> Read(int64_t first_day, bool per_server) override {
    Statement read(db_, shown_,
                   per_server ? "SELECT day, server, code, pack, messages FROM glyphwork_usage WHERE day >= ?"
                                " ORDER BY day, server, code, pack"
                              : "SELECT day, '', code, pack, SUM(messages) FROM glyphwork_usage WHERE day >= ?"
                                " GROUP BY day, code, pack ORDER BY day, code, pack");
    read.Bind(1, DayText(first_day));
    std::vector<Row> rows;
    while (read.Step()) {
      const std::optional<int64_t> day = DayFromText(read.Text(0));
      if (!day) continue;  // not ours: the tables are open to hand edits
      rows.push_back({*day, read.Text(1), read.Text(2), read.Text(3), uint64_t(read.Number(4))});
    }
    return rows;
  }

 private:
  void Execute(const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) != SQLITE_OK) {
      const std::string why = sqlite3_extended_errcode(db_) == SQLITE_READONLY_DBMOVED ? Why(db_)
                              : error != nullptr                                       ? error
                                                                                       : sqlite3_errmsg(db_);
      sqlite3_free(error);
      throw StoreError(shown_ + ": " + why);
    }
  }

  std::string shown_;
  sqlite3* db_ = nullptr;
};

}  // namespace

std::unique_ptr<Store> OpenSqliteStore(const UsageSettings& settings) {
  return std::make_unique<SqliteStore>(settings);
}

std::unique_ptr<Store> OpenSqliteStoreForReading(const UsageSettings& settings) {
  // The plugin makes the file at its first write.
  std::error_code unknown;
  if (!std::filesystem::exists(settings.sqlite, unknown) && !unknown) return nullptr;
  // Read-only, so that nothing is made here that the server's account could
  // not write to later.
  sqlite3* db = nullptr;
  const int opened = sqlite3_open_v2(Utf8FromPath(settings.sqlite).c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  auto store = std::make_unique<SqliteStore>(settings.sqlite_shown, db);  // closes it, opened or not
  if (opened != SQLITE_OK) {
    throw StoreError(settings.sqlite_shown + ": " + (db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(opened)));
  }
  sqlite3_busy_timeout(db, kBusyMilliseconds);
  if (!store->HasSchema()) return nullptr;
  return store;
}

}  // namespace glyphwork::usage
