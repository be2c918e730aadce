#include "usage/counts.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "common/utf8.h"
#include "usage/settings.h"

namespace glyphwork::usage {

namespace {

void AddTo(DayCounts& into, const DayCounts& counts) {
  for (const auto& [at, messages] : counts) into[at] += messages;
}

void TakeOff(DayCounts& from, const DayCounts& counts) {
  for (const auto& [at, messages] : counts) {
    const auto it = from.find(at);
    if (it == from.end()) continue;
    it->second -= (std::min)(it->second, messages);
    if (it->second == 0) from.erase(it);
  }
}

std::string StorableText(const std::string& text) {
  std::string out;
  for (size_t at = 0; at < text.size();) {
    char32_t code = 0;
    const size_t length = DecodeUtf8(std::string_view(text).substr(at), code);
    if (length == 0) {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned char>(text[at]));
      out += escaped;
      ++at;
    } else {
      out.append(text, at, length);
      at += length;
    }
  }
  if (out.size() <= kMaxNameLength) return out;
  size_t end = kMaxNameLength - 3;
  while (end > 0 && (static_cast<unsigned char>(out[end]) & 0xC0) == 0x80) --end;
  return out.substr(0, end) + "...";
}

}  // namespace

Key StorableKey(Key key) { return {StorableText(key.code), StorableText(key.pack)}; }

Counts::Counts() = default;
Counts::~Counts() = default;

Counts::Slot Counts::SlotOf(const Key& key) {
  std::lock_guard<std::mutex> lock(keys_mutex_);
  const auto [it, added] = slots_.emplace(key, Slot(keys_.size()));
  if (added) keys_.push_back(key);
  return it->second;
}

std::vector<Row> Counts::RowsOf(const DayCounts& counts) const {
  std::lock_guard<std::mutex> lock(keys_mutex_);
  std::vector<Row> rows;
  for (const auto& [at, messages] : counts) {
    rows.push_back({at.first, "", keys_[at.second].code, keys_[at.second].pack, messages});
  }
  return rows;
}

DayCounts Counts::CountsOf(const std::vector<Row>& rows) {
  DayCounts counts;
  // A pending file from an earlier version may hold any key.
  for (const Row& row : rows) counts[{row.day, SlotOf(StorableKey({row.code, row.pack}))}] += row.messages;
  return counts;
}

Counts::Day& Counts::DayLocked(int64_t day) {
  for (auto& known : days_) {
    if (known->day == day) return *known;
  }
  days_.push_back(std::make_unique<Day>());
  days_.back()->day = day;
  return *days_.back();
}

void Counts::AddSlowly(int64_t day, Slot slot) {
  std::lock_guard<std::mutex> lock(mutex_);
  Day& counted = DayLocked(day);
  if (slot >= counted.size) {
    // Room for some more keys: a reload brings new ones.
    const size_t size = std::max<size_t>({size_t(slot) + 1, counted.size * 2, 64});
    auto counts = std::make_unique<std::atomic<uint64_t>[]>(size);
    for (size_t i = 0; i < size; ++i) {
      counts[i].store(i < counted.size ? counted.counts[i].load(std::memory_order_relaxed) : 0,
                      std::memory_order_relaxed);
    }
    counted.counts = std::move(counts);
    counted.taken.resize(size, 0);
    counted.size = size;
  }
  current_day_ = day;
  current_size_ = counted.size;
  current_ = counted.counts.get();
  current_[slot].store(current_[slot].load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
}

void Counts::TakeNew() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& day : days_) {
    for (size_t slot = 0; slot < day->size; ++slot) {
      const uint64_t now = day->counts[slot].load(std::memory_order_relaxed);
      if (now == day->taken[slot]) continue;
      pending_[{day->day, Slot(slot)}] += now - day->taken[slot];
      day->taken[slot] = now;
    }
  }
  // Everything of the other days is taken now; the day being counted stays.
  std::erase_if(days_, [&](const std::unique_ptr<Day>& day) { return day->day != current_day_; });
}

DayCounts Counts::Pending() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return pending_;
}

void Counts::AddToReadingLocked(const DayCounts& batch) {
  // The database holds them now: the reading stays true until the next one.
  for (const auto& [at, messages] : batch) reading_.push_back({at.first, at.second, messages});
}

void Counts::Written(const DayCounts& batch) {
  std::lock_guard<std::mutex> lock(mutex_);
  TakeOff(pending_, batch);
  AddToReadingLocked(batch);
}

void Counts::SetInDoubt(const std::string& batch_id, const DayCounts& batch) {
  std::lock_guard<std::mutex> lock(mutex_);
  TakeOff(pending_, batch);
  AddTo(in_doubt_[batch_id], batch);
}

std::map<std::string, DayCounts> Counts::InDoubt() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return in_doubt_;
}

void Counts::ResolveInDoubt(const std::string& batch_id) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = in_doubt_.find(batch_id);
  if (it == in_doubt_.end()) return;
  AddToReadingLocked(it->second);
  in_doubt_.erase(it);
}

void Counts::AddPending(const DayCounts& counts) {
  std::lock_guard<std::mutex> lock(mutex_);
  AddTo(pending_, counts);
}

bool Counts::AllWritten() const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!pending_.empty() || !in_doubt_.empty()) return false;
  for (const auto& day : days_) {
    for (size_t slot = 0; slot < day->size; ++slot) {
      if (day->counts[slot].load(std::memory_order_relaxed) != day->taken[slot]) return false;
    }
  }
  return true;
}

void Counts::UseReading(std::vector<Row> rows) {
  // By slot, made before the counts' lock is taken: a long reading costs the
  // game thread nothing.
  std::vector<Read> reading;
  reading.reserve(rows.size());
  for (Row& row : rows) reading.push_back({row.day, SlotOf({std::move(row.code), std::move(row.pack)}), row.messages});
  std::lock_guard<std::mutex> lock(mutex_);
  reading_.swap(reading);
  read_ = true;
}

bool Counts::HasReading() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return read_;
}

void Counts::SetAnswering(bool answering) {
  std::lock_guard<std::mutex> lock(mutex_);
  answering_ = answering;
}

std::map<Key, uint64_t> Counts::Totals(int64_t first_day, bool* answering, bool* read) const {
  std::map<Slot, uint64_t> by_slot;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const Read& read : reading_) {
      if (read.day >= first_day) by_slot[read.slot] += read.messages;
    }
    const auto add = [&](const DayCounts& counts) {
      for (const auto& [at, messages] : counts) {
        if (at.first >= first_day) by_slot[at.second] += messages;
      }
    };
    add(pending_);
    for (const auto& [batch, counts] : in_doubt_) add(counts);
    for (const auto& day : days_) {
      if (day->day < first_day) continue;
      for (size_t slot = 0; slot < day->size; ++slot) {
        const uint64_t untaken = day->counts[slot].load(std::memory_order_relaxed) - day->taken[slot];
        if (untaken > 0) by_slot[Slot(slot)] += untaken;
      }
    }
    if (answering != nullptr) *answering = answering_;
    if (read != nullptr) *read = read_;
  }
  std::lock_guard<std::mutex> lock(keys_mutex_);
  std::map<Key, uint64_t> totals;
  for (const auto& [slot, messages] : by_slot) totals[keys_[slot]] += messages;
  return totals;
}

}  // namespace glyphwork::usage
