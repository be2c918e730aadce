#include "usage/tally.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "config/reading.h"
#include "usage/day.h"
#include "usage/settings.h"

namespace glyphwork::usage {

Key KeyOfPass(const ChatRules& rules, const std::vector<std::string>& pack_names, uint32_t pass) {
  const size_t pack = rules.pass_pack(pass);
  std::string source = pack == kRemap ? "RemapEmoji" : PackFileOf(pack_names, pack);
  return StorableKey({std::string(rules.pass_code(pass)), std::move(source)});
}

std::vector<std::string> PackNames(const std::vector<std::string>& pack_files) {
  std::vector<std::string> names;
  for (const std::string& file : pack_files) names.push_back(file.substr(file.find_last_of('/') + 1));
  return names;
}

std::vector<Key> ConfiguredKeys(const ChatRules& rules, const std::vector<std::string>& pack_names) {
  std::vector<Key> keys;
  std::map<Key, bool> seen;
  for (uint32_t pass = 0; pass < rules.pass_count(); ++pass) {
    Key key = KeyOfPass(rules, pack_names, pass);
    if (seen.emplace(key, true).second) keys.push_back(std::move(key));
  }
  return keys;
}

Tally::Tally(Counts& counts) : counts_(counts), today_(Today()) {}

void Tally::UseRules(const ChatRules& rules, const std::vector<std::string>& pack_files) {
  rules_ = &rules;
  packs_ = PackNames(pack_files);
  pass_slots_.assign(rules.pass_count(), kUnknown);
}

void Tally::Tick() {
  ++tick_;
  today_ = Today();
}

Counts::Slot Tally::NewSlotOf(uint32_t pass) {
  const Key key = KeyOfPass(*rules_, packs_, pass);
  const Counts::Slot slot = pass_slots_[pass] = counts_.SlotOf(key);
  if (slot >= counted_stamp_.size()) counted_stamp_.resize(size_t(slot) + 64, 0);
  return slot;
}

std::vector<Key> Tally::Configured() const {
  return rules_ == nullptr ? std::vector<Key>() : ConfiguredKeys(*rules_, packs_);
}

bool Tally::AddRecipient(const void* recipient) {
  if (recipient_count_ < kFirstRecipients) {
    for (size_t i = 0; i < recipient_count_; ++i) {
      if (first_recipients_[i] == recipient) return false;
    }
    first_recipients_[recipient_count_++] = recipient;
    return true;
  }
  for (const void* first : first_recipients_) {
    if (first == recipient) return false;
  }
  return AddRecipientSlowly(recipient);
}

bool Tally::AddRecipientSlowly(const void* recipient) {
  // A table of pointers, open addressing, at most half full.
  const size_t more = recipient_count_ - kFirstRecipients;
  if ((more + 1) * 2 > more_recipients_.size()) {
    std::vector<std::pair<const void*, uint32_t>> grown(std::max<size_t>(64, more_recipients_.size() * 2));
    std::swap(grown, more_recipients_);
    recipient_count_ = kFirstRecipients;
    for (const auto& [kept, stamp] : grown) {
      if (stamp == stamp_) AddRecipientSlowly(kept);
    }
  }
  const size_t mask = more_recipients_.size() - 1;
  for (size_t at = ((reinterpret_cast<uintptr_t>(recipient) >> 4) * 0x9E3779B97F4A7C15ull >> 40) & mask;;
       at = (at + 1) & mask) {
    auto& entry = more_recipients_[at];
    if (entry.second != stamp_) {
      entry = {recipient, stamp_};
      ++recipient_count_;
      return true;
    }
    if (entry.first == recipient) return false;
  }
}

void Tally::StartMessage(const void* recipient, const Fingerprint& fingerprint) {
  if (++stamp_ == 0) {
    // Once in four billion messages: no old stamp may pass for a current one.
    for (auto& entry : more_recipients_) entry.second = 0;
    std::fill(counted_stamp_.begin(), counted_stamp_.end(), 0);
    stamp_ = 1;
  }
  message_tick_ = tick_;
  counted_list_ = 0;
  fingerprint_ = fingerprint;
  recipient_count_ = 0;
  AddRecipient(recipient);
}

void Tally::Count(const void* recipient, const FPrimalChatMessage& message, const std::vector<uint32_t>& pictured,
                  uint64_t list) {
  if (rules_ == nullptr) return;
  const Fingerprint fingerprint = FingerprintOf(message);
  const bool same = message_tick_ == tick_ && fingerprint == fingerprint_;
  // A further recipient with the pictures already counted: every pass of the
  // list has the message's stamp. Most deliveries end here, so it comes
  // before the recipients are looked at.
  if (same && list == counted_list_) return;
  if (!same || !AddRecipient(recipient)) StartMessage(recipient, fingerprint);
  counted_list_ = list;
  for (const uint32_t pass : pictured) {
    const Counts::Slot slot = SlotOf(pass);
    // Every slot a pass maps to has its stamp (NewSlotOf).
    if (counted_stamp_[slot] == stamp_) continue;
    counted_stamp_[slot] = stamp_;
    counts_.Add(today_, slot);
  }
}

}  // namespace glyphwork::usage
