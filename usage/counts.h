// The usage counts in memory, shared by the game thread, which counts, and
// the writer thread, which takes them into the database: per day and key
// (code and pack), what was counted, what the writer has taken and not yet
// written, and what the database held when it was last read. Two locks, held
// for moments and never during database work: one over the keys, which the
// game thread takes only for a key it has not met before, and one over the
// counts, which it takes only for a day it has not met before. The keys'
// lock is taken after the counts' where both are.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "usage/store.h"

namespace glyphwork::usage {

struct Key {
  std::string code;  // ":name:"
  std::string pack;  // the pack's file name, or "RemapEmoji"

  bool operator==(const Key&) const = default;
  bool operator<(const Key& other) const { return code != other.code ? code < other.code : pack < other.pack; }
};

// The key as the database can hold it: bytes that are not UTF-8 written out
// as \xNN, and a code or pack name over kMaxNameLength bytes cut at a
// character's end with "..." (two such names may then share a key).
Key StorableKey(Key key);

// Messages per day and key, as the counts are handed between the threads.
using DayCounts = std::map<std::pair<int64_t, uint32_t>, uint64_t>;  // (day, slot) -> messages

class Counts {
 public:
  using Slot = uint32_t;

  Counts();
  ~Counts();
  Counts(const Counts&) = delete;
  Counts& operator=(const Counts&) = delete;

  // The slot of a key, made on first use; slots are never reused. Any thread.
  Slot SlotOf(const Key& key);
  // The same counts as rows (server "") and back.
  std::vector<Row> RowsOf(const DayCounts& counts) const;
  DayCounts CountsOf(const std::vector<Row>& rows);

  // One more message for `slot` on `day`. One thread only (the game's).
  // Without a lock when the day is the one counted last and the slot known
  // to it.
  void Add(int64_t day, Slot slot) {
    if (day == current_day_ && slot < current_size_) {
      std::atomic<uint64_t>& count = current_[slot];
      count.store(count.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
      return;
    }
    AddSlowly(day, slot);
  }

  // The writer's side. TakeNew moves what was counted since the last call
  // into the pending counts. Pending copies them out for a write; Written
  // takes a written batch off them. A batch that may be in the database
  // already (its commit went unanswered, or the pending file named it) is
  // held apart under its id (SetInDoubt), never merged with others, until
  // a write under that id says it is there (ResolveInDoubt).
  void TakeNew();
  DayCounts Pending() const;
  void Written(const DayCounts& batch);
  void SetInDoubt(const std::string& batch_id, const DayCounts& batch);
  std::map<std::string, DayCounts> InDoubt() const;
  void ResolveInDoubt(const std::string& batch_id);
  // Adds counts read back from the pending file.
  void AddPending(const DayCounts& counts);
  // Nothing counted is unwritten.
  bool AllWritten() const;

  // What the database held from some day on, summed over servers, as last
  // read; replaces the previous reading. Until the first, Totals has the
  // counts of this run alone.
  void UseReading(std::vector<Row> rows);
  // Whether the database was read (UseReading) yet.
  bool HasReading() const;
  // Whether the last flush reached the database (until one fails: yes).
  void SetAnswering(bool answering);

  // Messages per key from `first_day` on: the database as last read plus
  // everything counted here and not yet written. `answering` tells whether
  // the last flush reached the database, `read` whether it was read yet.
  // Any thread.
  std::map<Key, uint64_t> Totals(int64_t first_day, bool* answering = nullptr, bool* read = nullptr) const;

 private:
  struct Day {
    int64_t day = 0;
    size_t size = 0;
    std::unique_ptr<std::atomic<uint64_t>[]> counts;
    std::vector<uint64_t> taken;  // per slot, the count at the last TakeNew
  };

  struct Read {
    int64_t day;
    Slot slot;
    uint64_t messages;
  };

  void AddSlowly(int64_t day, Slot slot);
  Day& DayLocked(int64_t day);
  void AddToReadingLocked(const DayCounts& batch);

  mutable std::mutex keys_mutex_;
  std::vector<Key> keys_;
  std::map<Key, Slot> slots_;

  mutable std::mutex mutex_;
  std::vector<std::unique_ptr<Day>> days_;
  DayCounts pending_;
  std::map<std::string, DayCounts> in_doubt_;
  std::vector<Read> reading_;  // the database as last read, by slot
  bool answering_ = true;
  bool read_ = false;

  // The game thread's shortcut into the day it counted last, changed under
  // the lock; the writer never drops that day.
  int64_t current_day_ = INT64_MIN;
  size_t current_size_ = 0;
  std::atomic<uint64_t>* current_ = nullptr;
};

}  // namespace glyphwork::usage
