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

void Writer::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
    wake_.notify_all();
  }
  if (thread_.joinable()) thread_.join();
}

Writer::Stats Writer::stats() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return stats_;
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
  store_.reset();
  ReleaseStoreLibraries();
}

void Writer::TakePendingFile() {
  try {
    std::optional<PendingCounts> pending = ReadPendingFile(pending_file_);
    if (!pending) return;
    counts_.AddPending(counts_.CountsOf(pending->pending));
    if (pending->in_doubt) counts_.SetInDoubt(pending->in_doubt->first, counts_.CountsOf(pending->in_doubt->second));
    pending_file_taken_ = true;
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

void Writer::Flush(const UsageSettings& settings, bool last) {
  const auto start = std::chrono::steady_clock::now();
  counts_.TakeNew();
  bool ok = true;
  uint64_t rows = 0;
  try {
    if (!store_ || !(store_settings_ == settings)) {
      store_.reset();
      store_ = OpenStore(settings);
      store_settings_ = settings;
    }
    if (const auto doubt = counts_.InDoubt()) counts_.ResolveInDoubt(store_->HasBatch(doubt->first));
    const DayCounts batch = counts_.Pending();
    if (!batch.empty()) {
      const std::string id = NewBatchId();
      try {
        store_->Write(id, Today(), counts_.RowsOf(batch));
      } catch (const StoreError& failure) {
        if (failure.in_doubt()) counts_.SetInDoubt(id, batch);
        throw;
      }
      counts_.Written(batch);
      rows = batch.size();
    }
    if (pending_file_taken_) {
      // Its counts went into this write (or were found written): the file
      // must not be read again.
      std::error_code error;
      std::filesystem::remove(pending_file_, error);
      pending_file_taken_ = false;
      Log(bool(error), error ? "Usage counts left at the last unload written to " + settings.Database() + ", but " +
                                   pending_shown_ + " cannot be removed (" + error.message() +
                                   "): remove it, or the next start counts them again"
                             : "Usage counts left at the last unload written to " + settings.Database());
    }
    if (!last) counts_.UseReading(store_->Read(Today() - kReadDays + 1, false));
    if (failing_) Log(false, "Usage counts written again to " + settings.Database());
    failing_ = false;
    counts_.SetAnswering(true);
    last_error_.clear();
  } catch (const StoreError& failure) {
    ok = false;
    store_.reset();
    last_error_ = failure.what();
    if (!failing_ && !last) {
      Log(true, std::string("Usage counts not written: ") + failure.what() +
                    "; they are kept in memory until the database answers");
    }
    failing_ = true;
    counts_.SetAnswering(false);
  }
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  std::lock_guard<std::mutex> lock(mutex_);
  ++stats_.flushes;
  stats_.failed += ok ? 0 : 1;
  stats_.rows_written += rows;
  if (stats_.recent.size() == kKeptFlushes) stats_.recent.erase(stats_.recent.begin());
  stats_.recent.push_back({start, ms});
}

void Writer::WritePending(const std::string& why) {
  counts_.TakeNew();
  PendingCounts pending;
  const DayCounts counts = counts_.Pending();
  pending.pending = counts_.RowsOf(counts);
  uint64_t messages = Messages(counts);
  if (const auto doubt = counts_.InDoubt()) {
    pending.in_doubt.emplace(doubt->first, counts_.RowsOf(doubt->second));
    messages += Messages(doubt->second);
  }
  try {
    WritePendingFile(pending_file_, pending);
    Log(true, "Usage counts not written at unload: " + why + "; " + std::to_string(messages) + " kept in " +
                  pending_shown_ + " for the next start");
  } catch (const std::exception& failure) {
    Log(true, "Usage counts lost at unload: " + why + "; and " + failure.what());
  }
}

}  // namespace glyphwork::usage
