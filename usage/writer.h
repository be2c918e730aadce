// The writer thread: every FlushSeconds it takes what the game thread
// counted and adds it to the database in one transaction, then reads the
// database back for Glyphwork.Usage. A database that cannot be reached or
// refuses the write costs one host-log line (and one when the cause changes
// or it answers again); the counts wait in memory and, from the first
// failed flush on, in the pending file too, so that a crash loses only what
// was counted since. At Stop a last flush runs, and what it could not write
// goes to the pending file, which the next start writes first. Every write
// has a batch id, recorded with it, that is never written twice: counts
// whose write may have arrived are written again under the same id only.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "usage/counts.h"
#include "usage/settings.h"
#include "usage/store.h"

namespace spdlog {
class logger;
}

namespace glyphwork::usage {

// Days of the database that Glyphwork.Usage can look back on.
inline constexpr int kReadDays = 366;
// How long Stop waits for the last flush before it cuts the database off.
inline constexpr std::chrono::seconds kStopDeadline{5};

class Writer {
 public:
  struct Flush {
    std::chrono::steady_clock::time_point start;
    double ms = 0;
  };
  struct Stats {
    uint64_t flushes = 0;
    uint64_t failed = 0;
    uint64_t rows_written = 0;
    uint64_t reads = 0;         // of the database's counts
    std::vector<Flush> recent;  // the latest flushes, oldest first
  };

  // Starts the thread, which writes the pending file's counts (if any) at
  // once. `log` gets the thread's lines; `pending_file` is shown as
  // `pending_shown`.
  Writer(Counts& counts, const UsageSettings& settings, std::filesystem::path pending_file, std::string pending_shown,
         std::shared_ptr<spdlog::logger> log);
  ~Writer();
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  // The settings from the next flush on, which starts now.
  void Use(const UsageSettings& settings);
  // Someone asks what the database holds: the next flush, which starts now,
  // reads it (a flush reads only at the start, after a change of database
  // and when asked).
  void WantReading();
  // Waits at most `wait` for the first flush to have read the database or
  // failed; whether it did.
  bool AwaitFirstFlush(std::chrono::milliseconds wait);
  // The last flush, then the thread ends. Waits kStopDeadline for it, then
  // interrupts the database's connection: what is not written by then goes
  // to the pending file (in doubt where a commit was under way).
  void Stop();

  Stats stats() const;

 private:
  void Run();
  void Flush(const UsageSettings& settings, bool last);
  // Writes the batches held under their ids; `undecided` when one is still
  // open in the database.
  void WriteHeld(uint64_t* rows, bool* undecided);
  // Everything unwritten into the pending file; the messages it holds.
  // Throws std::runtime_error.
  uint64_t SavePending();
  // The same, a failure logged (once per cause) and the counts kept.
  void TrySavePending();
  void WritePending(const std::string& why);
  void TakePendingFile();
  void CloseStore();
  bool Abandoned() const;
  void LogRefused(const std::vector<std::pair<Row, std::string>>& refused);
  void Log(bool error, const std::string& line);

  Counts& counts_;
  std::filesystem::path pending_file_;
  std::string pending_shown_;
  std::shared_ptr<spdlog::logger> log_;

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  UsageSettings settings_;
  bool flush_now_ = false;
  bool stop_ = false;
  bool done_ = false;  // the thread's work is over
  bool reading_wanted_ = false;
  bool flushed_ = false;  // a flush read the database or failed
  bool abandon_ = false;  // past Stop's deadline: the database is cut off
  Stats stats_;
  // Set and reset by the thread under the lock; used by it without, and by
  // Stop under it to interrupt.
  std::unique_ptr<Store> store_;

  // The thread's own.
  UsageSettings store_settings_;
  bool failing_ = false;
  std::string last_error_;
  bool pending_file_taken_ = false;   // read at the start; its counts not yet all written
  bool pending_file_exists_ = false;  // what is unwritten is (also) in the pending file
  // The id the pending counts go in under, fixed while the pending file
  // names it, and the connection of a failed write under it.
  std::string pending_batch_;
  std::string pending_session_;
  std::map<std::string, std::string> doubt_sessions_;
  std::string save_error_;  // why the pending file could not be written last
  bool read_ = false;  // the database's counts were read since the store opened  // batch -> connection whose commit
                       // went unanswered

  std::thread thread_;
};

}  // namespace glyphwork::usage
