// Where usage counts are kept: one schema in SQLite (one server) or in
// MariaDB/MySQL (a cluster sharing one database). The counting and the
// writer thread see only this interface; the database libraries stay in
// the files that implement it.
//
// Schema version 1, created if missing:
//   glyphwork_schema  (id = 1, version)
//   glyphwork_usage   (day "YYYY-MM-DD", server, code, pack, messages),
//                     primary key (day, server, code, pack): the key leads
//                     with the day, so "the last N days" is one range of it
//   glyphwork_batches (batch, day): the batches written in the last week, so
//                     that a write whose commit went unanswered is neither
//                     lost nor written twice
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "usage/settings.h"

namespace glyphwork::usage {

inline constexpr int kSchemaVersion = 1;
// Batches older than this many days are forgotten.
inline constexpr int kBatchDays = 7;

struct Row {
  int64_t day = 0;
  std::string server;
  std::string code;
  std::string pack;
  uint64_t messages = 0;

  bool operator==(const Row&) const = default;
};

// A database failure. `in_doubt`: the commit was sent and no answer came, so
// the batch may or may not be in the database.
class StoreError : public std::runtime_error {
 public:
  explicit StoreError(const std::string& what, bool in_doubt = false) : std::runtime_error(what), in_doubt_(in_doubt) {}
  bool in_doubt() const { return in_doubt_; }

 private:
  bool in_doubt_;
};

// One open connection. Used by one thread at a time; every operation may
// block on the database (never call it from the game thread) and throws
// StoreError.
class Store {
 public:
  virtual ~Store() = default;
  // What a store does after connecting and before its first use: creates
  // the schema if missing and checks its version. Interruptible.
  virtual void Prepare() {}
  // The connection as the database knows it, for a later Write to end
  // ("" where there is nothing to end).
  virtual std::string Session() const { return {}; }
  // Records `batch` first, then adds `rows` (their server is this store's)
  // to the counts, in one transaction, forgetting batches from before
  // `today` - kBatchDays. An id is written once: false when the database has
  // the batch already (an earlier write of it arrived), and nothing is
  // added; nullopt when another transaction still holds the batch's row (an
  // earlier write of it is still open), so it is not decided yet. `session`:
  // the connection (Session()) whose commit of this batch went unanswered,
  // ended first where the database still runs it. A row the database
  // refuses by itself (a value it cannot hold) goes to `refused` with the
  // reason, and the others are written.
  virtual std::optional<bool> Write(const std::string& batch, int64_t today, const std::vector<Row>& rows,
                                    const std::string& session = "",
                                    std::vector<std::pair<Row, std::string>>* refused = nullptr) = 0;
  // From another thread: whatever this store waits on fails now, and so
  // does what comes after. Safe while another thread uses the store, not
  // after it is destroyed.
  virtual void Interrupt() = 0;
  // The rows from `first_day` on; with `per_server` false, summed over the
  // servers (server "").
  virtual std::vector<Row> Read(int64_t first_day, bool per_server) = 0;
};

// Connects to the database of `settings` and creates the schema if missing.
// Throws StoreError, also for a schema newer than kSchemaVersion.
std::unique_ptr<Store> OpenStore(const UsageSettings& settings);
// Connects only; Prepare follows, which another thread may interrupt.
std::unique_ptr<Store> ConnectStore(const UsageSettings& settings);

// Connects to the database of `settings` for Read alone, as glyphwork-check
// does: it creates no file, table or row (SQLite opened read-only, only
// SELECTs in MariaDB/MySQL), so a database that is readable only, or an
// account with SELECT alone, will do. Null when nothing was counted into it
// yet: no SQLite file, or no tables. Throws StoreError, also for a schema
// newer than kSchemaVersion.
std::unique_ptr<Store> OpenStoreForReading(const UsageSettings& settings);

// One per database library; OpenStore and OpenStoreForReading pick.
std::unique_ptr<Store> OpenSqliteStore(const UsageSettings& settings);
std::unique_ptr<Store> OpenMysqlStore(const UsageSettings& settings);
std::unique_ptr<Store> OpenSqliteStoreForReading(const UsageSettings& settings);
std::unique_ptr<Store> OpenMysqlStoreForReading(const UsageSettings& settings);

// Throws StoreError when the database's tables (`version`, of `where`) are
// newer than this Glyphwork knows.
void CheckSchemaVersion(const std::string& where, int64_t version);

// What the database libraries keep for the calling thread, released by the
// thread that used them before it ends; the libraries themselves stay loaded
// and set up for whoever else in the process uses them.
void ReleaseStoreLibraries();

}  // namespace glyphwork::usage
