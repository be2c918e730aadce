#include "usage/writer.h"

#include <spdlog/logger.h>

#include <chrono>
#include <random>

#include "common/utf8_path.h"
#include "usage/day.h"
#include "usage/pending_file.h"

namespace glyphwork::usage {

namespace {

constexpr size_t kKeptFlushes = 4096;

std::string NewBatchId() {
  std::random_device random;
  std::string id;
  for (int i = 0; i < 4; ++i) {
    char part[9];
    std::snprintf(part, sizeof part, "%08x", unsigned(random()));
    id += part;
  }
  return id;
}

uint64_t Messages(const DayCounts& counts) {
  uint64_t total = 0;
  for (const auto& [at, messages] : counts) total += messages;
  return total;
}

}  // namespace

Writer::Writer(Counts& counts, const UsageSettings& settings, std::filesystem::path pending_file,
               std::string pending_shown, std::shared_ptr<spdlog::logger> log)
    : counts_(counts),
      pending_file_(std::move(pending_file)),
      pending_shown_(std::move(pending_shown)),
      log_(std::move(log)),
      settings_(settings),
      thread_([this] { Run(); }) {}

Writer::~Writer() { Stop(); }

void Writer::Use(const UsageSettings& settings) {
  std::lock_guard<std::mutex> lock(mutex_);
  settings_ = settings;
  flush_now_ = true;
  wake_.notify_all();
}

void Writer::WantReading() {
  std::lock_guard<std::mutex> lock(mutex_);
  reading_wanted_ = flush_now_ = true;
  wake_.notify_all();
}

bool Writer::AwaitFirstFlush(std::chrono::milliseconds wait) {
  std::unique_lock<std::mutex> lock(mutex_);
  return wake_.wait_for(lock, wait, [this] { return flushed_ || done_; });
}

void Writer::Stop() {
  {
    std::unique_lock<std::mutex> lock(mutex_);
    stop_ = true;
    wake_.notify_all();
    // One deadline for the last flush, whatever the database does: then
    // its connection is cut, and what it did not write goes to the
    // pending file.
    if (thread_.joinable() && !wake_.wait_for(lock, kStopDeadline, [this] { return done_; })) {
      abandon_ = true;
      if (store_) store_->Interrupt();
    }
  }
  if (thread_.joinable()) thread_.join();
}

Writer::Stats Writer::stats() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return stats_;
}

// Written without them: a row that can never be written must not stop the
// others, and the line keeps its count.
void Writer::LogRefused(const std::vector<std::pair<Row, std::string>>& refused) {
  for (const auto& [row, why] : refused) {
    Log(true, "Usage count set aside, the database refuses it: " + DayText(row.day) + " " + row.code + " (" + row.pack +
                  "), " + std::to_string(row.messages) + (row.messages == 1 ? " message: " : " messages: ") + why);
  }
}

bool Writer::Abandoned() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return abandon_;
}

void Writer::Log(bool error, const std::string& line) {
  if (!log_) return;
  try {
    if (error) {
      log_->error(line);
    } else {
      log_->info(line);
    }
  } catch (...) {
  }
}

void Writer::Run() {
  TakePendingFile();
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    const bool last = stop_;
    const UsageSettings settings = settings_;
    flush_now_ = false;
    lock.unlock();
    Flush(settings, last);
    lock.lock();
    if (last) break;
    wake_.wait_for(lock, std::chrono::seconds(settings_.flush_seconds), [this] { return stop_ || flush_now_; });
  }
  lock.unlock();
  if (!counts_.AllWritten()) WritePending(last_error_);
  CloseStore();
  ReleaseStoreLibraries();
  lock.lock();
  done_ = true;
  wake_.notify_all();
}

void Writer::CloseStore() {
  // Under the lock, so that Stop never interrupts a store being destroyed.
  std::lock_guard<std::mutex> lock(mutex_);
  store_.reset();
}

void Writer::TakePendingFile() {
  try {
    std::optional<PendingCounts> pending = ReadPendingFile(pending_file_);
    if (!pending) return;
    // Counts the file names under a batch id may have been written after it
    // was saved (a crash before its removal): each goes in under its id.
    if (pending->pending_batch.empty()) {
      counts_.AddPending(counts_.CountsOf(pending->pending));
    } else {
      counts_.SetInDoubt(pending->pending_batch, counts_.CountsOf(pending->pending));
    }
    for (const auto& [batch, rows] : pending->in_doubt) counts_.SetInDoubt(batch, counts_.CountsOf(rows));
    pending_file_taken_ = true;
    pending_file_exists_ = true;
  } catch (const std::exception& failure) {
    // Kept for whoever looks into it; a new pending file must not replace it.
    std::filesystem::path aside = pending_file_;
    aside += ".unreadable";
    std::error_code ignored;
    std::filesystem::rename(pending_file_, aside, ignored);
    Log(true, "Usage counts left at the last unload not read: " + pending_shown_ + ": " + failure.what() +
                  "; the file is now " + pending_shown_ + ".unreadable");
  }
}

void Writer::WriteHeld(uint64_t* rows, bool* undecided) {
  for (const auto& [batch, held] : counts_.InDoubt()) {
    const auto session = doubt_sessions_.find(batch);
    std::optional<bool> wrote;
    std::vector<std::pair<Row, std::string>> refused;
    try {
      wrote = store_->Write(batch, Today(), counts_.RowsOf(held),
                            session == doubt_sessions_.end() ? std::string() : session->second, &refused);
    } catch (const StoreError&) {
      doubt_sessions_[batch] = store_->Session();
      throw;
    }
    LogRefused(refused);
    if (!wrote) {
      // Still open in the database: decided at a later flush.
      *undecided = true;
      continue;
    }
    counts_.ResolveInDoubt(batch);
    doubt_sessions_.erase(batch);
    *rows += *wrote ? held.size() : 0;
  }
}

void Writer::Flush(const UsageSettings& settings, bool last) {
  const auto start = std::chrono::steady_clock::now();
  counts_.TakeNew();
  bool ok = true;
  uint64_t rows = 0;
  try {
    if (!store_ || !(store_settings_ == settings)) {
      CloseStore();
      if (Abandoned()) throw StoreError(settings.Database() + ": no answer before the deadline of the last write");
      std::unique_ptr<Store> store = ConnectStore(settings);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        store_ = std::move(store);
        // Stop's deadline passed while it connected.
        if (abandon_) store_->Interrupt();
      }
      store_->Prepare();
      if (!(store_settings_ == settings)) read_ = false;
      store_settings_ = settings;
    }
    bool undecided = false;
    WriteHeld(&rows, &undecided);
    const DayCounts batch = counts_.Pending();
    if (!batch.empty()) {
      if (pending_batch_.empty()) pending_batch_ = NewBatchId();
      // The file names exactly what goes in under this id: after a crash
      // between the commit and the file's removal, the id tells.
      if (pending_file_exists_) TrySavePending();
      const std::string id = pending_batch_;
      std::optional<bool> wrote;
      std::vector<std::pair<Row, std::string>> refused;
      try {
        wrote = store_->Write(id, Today(), counts_.RowsOf(batch), pending_session_, &refused);
      } catch (const StoreError& failure) {
        if (failure.in_doubt()) {
          counts_.SetInDoubt(id, batch);
          doubt_sessions_[id] = store_->Session();
          pending_batch_.clear();
          pending_session_.clear();
        } else {
          // Not committed, and never will be under this id but by this
          // writer: an open transaction of it on the server is ended first.
          pending_session_ = store_->Session();
        }
        throw;
      }
      LogRefused(refused);
      if (!wrote) {
        undecided = true;
      } else {
        counts_.Written(batch);
        rows += *wrote ? batch.size() : 0;
        pending_batch_.clear();
        pending_session_.clear();
      }
    }
    if (undecided) {
      throw StoreError(settings.Database() +
                       ": a write whose answer was lost is still open in the database; "
                       "its counts wait until it ends");
    }
    if (pending_file_exists_) {
      // Everything it held is in the database now.
      std::error_code error;
      std::filesystem::remove(pending_file_, error);
      pending_file_exists_ = bool(error);
      if (pending_file_taken_ || error) {
        Log(bool(error), error ? "Usage counts left at the last unload written to " + settings.Database() + ", but " +
                                     pending_shown_ + " cannot be removed (" + error.message() +
                                     "): remove it, or the next start counts them again"
                               : "Usage counts left at the last unload written to " + settings.Database());
      }
      pending_file_taken_ = false;
    }
    // Read when it is new, or when asked: what this writer wrote is added to
    // the reading as it goes in, so an idle flush reads nothing.
    bool read = false;
    if (!last) {
      std::lock_guard<std::mutex> lock(mutex_);
      read = !read_ || reading_wanted_;
      reading_wanted_ = false;
    }
    if (read) {
      counts_.UseReading(store_->Read(Today() - kReadDays + 1, false));
      read_ = true;
      std::lock_guard<std::mutex> lock(mutex_);
      ++stats_.reads;
    }
    if (failing_) Log(false, "Usage counts written again to " + settings.Database());
    failing_ = false;
    counts_.SetAnswering(true);
    last_error_.clear();
  } catch (const StoreError& failure) {
    ok = false;
    CloseStore();
    // A new line when the cause changes (lost connection, then access
    // denied), not for each flush.
    if ((!failing_ || last_error_ != failure.what()) && !last) {
      Log(true, std::string("Usage counts not written: ") + failure.what() +
                    "; they are kept in memory until the database answers");
    }
    last_error_ = failure.what();
    failing_ = true;
    counts_.SetAnswering(false);
    // A crash from now on loses only what is counted after this.
    if (!last) TrySavePending();
  }
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  std::lock_guard<std::mutex> lock(mutex_);
  if (read_ || !ok) {
    flushed_ = true;
    wake_.notify_all();
  }
  ++stats_.flushes;
  stats_.failed += ok ? 0 : 1;
  stats_.rows_written += rows;
  if (stats_.recent.size() == kKeptFlushes) stats_.recent.erase(stats_.recent.begin());
  stats_.recent.push_back({start, ms});
}

uint64_t Writer::SavePending() {
  PendingCounts pending;
  const DayCounts counts = counts_.Pending();
  pending.pending = counts_.RowsOf(counts);
  uint64_t messages = Messages(counts);
  if (!counts.empty()) {
    if (pending_batch_.empty()) pending_batch_ = NewBatchId();
    pending.pending_batch = pending_batch_;
  }
  for (const auto& [batch, held] : counts_.InDoubt()) {
    pending.in_doubt.emplace_back(batch, counts_.RowsOf(held));
    messages += Messages(held);
  }
  WritePendingFile(pending_file_, pending);
  pending_file_exists_ = true;
  return messages;
}

void Writer::TrySavePending() {
  if (!pending_file_exists_ && counts_.Pending().empty() && counts_.InDoubt().empty()) return;
  try {
    SavePending();
    save_error_.clear();
  } catch (const std::exception& failure) {
    // Once per cause: the counts are still in memory.
    if (save_error_ != failure.what()) {
      Log(true, "Usage counts not kept in " + pending_shown_ + ": " + failure.what() +
                    "; they are in memory only, until the database answers");
    }
    save_error_ = failure.what();
  }
}

void Writer::WritePending(const std::string& why) {
  counts_.TakeNew();
  try {
    const uint64_t messages = SavePending();
    Log(true, "Usage counts not written at unload: " + why + "; " + std::to_string(messages) + " kept in " +
                  pending_shown_ + " for the next start");
  } catch (const std::exception& failure) {
    Log(true, "Usage counts lost at unload: " + why + "; and " + failure.what());
  }
}

}  // namespace glyphwork::usage
