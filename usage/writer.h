// The writer thread: every FlushSeconds it takes what the game thread
// counted and adds it to the database in one transaction, then reads the
// database back for Glyphwork.Usage. A database that cannot be reached or
// refuses the write costs one host-log line (and one when it answers
// again); the counts wait in memory. At Stop a last flush runs, and what it
// could not write goes to the pending file, which the next start writes
// first.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
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
  // The last flush, then the thread ends. Bounded by the database library's
  // time-outs (SQLite's lock wait, MySQL's connect, read and write limits).
  void Stop();

  Stats stats() const;

 private:
  void Run();
  void Flush(const UsageSettings& settings, bool last);
  void WritePending(const std::string& why);
  void TakePendingFile();
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
  Stats stats_;

  // The thread's own.
  std::unique_ptr<Store> store_;
  UsageSettings store_settings_;
  bool failing_ = false;
  std::string last_error_;
  bool pending_file_taken_ = false;

  std::thread thread_;
};

}  // namespace glyphwork::usage
