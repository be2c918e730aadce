#include "usage/tally.h"

#include <cstring>

#include "usage/day.h"
#include "usage/settings.h"

namespace glyphwork::usage {

namespace {

bool SameUnits(const std::basic_string<TCHAR>& kept, const FString& text) {
  return kept.size() == size_t(text.Len()) && std::memcmp(kept.data(), *text, kept.size() * sizeof(TCHAR)) == 0;
}

bool SameTime(long double a, long double b) { return a == b || (a != a && b != b); }

}  // namespace

void Tally::UseRules(const ChatRules& rules, const std::vector<std::string>& pack_files) {
  rules_ = &rules;
  packs_.clear();
  for (const std::string& file : pack_files) packs_.push_back(file.substr(file.find_last_of('/') + 1));
  pass_slots_.assign(rules.pass_count(), kUnknown);
}

Key Tally::KeyOfPass(uint32_t pass) const {
  const size_t pack = rules_->pass_pack(pass);
  return {std::string(rules_->pass_code(pass)), pack == ChatRules::kRemap ? "RemapEmoji"
                                                : pack < packs_.size()    ? packs_[pack]
                                                                          : "EmojiMap[" + std::to_string(pack) + "]"};
}

Counts::Slot Tally::SlotOf(uint32_t pass) {
  Counts::Slot& slot = pass_slots_[pass];
  if (slot == kUnknown) {
    const Key key = KeyOfPass(pass);
    slot = key.code.size() > kMaxNameLength || key.pack.size() > kMaxNameLength ? kNotKept : counts_.SlotOf(key);
  }
  return slot;
}

std::vector<Key> Tally::Configured() const {
  std::vector<Key> keys;
  if (rules_ == nullptr) return keys;
  std::map<Key, bool> seen;
  for (uint32_t pass = 0; pass < rules_->pass_count(); ++pass) {
    Key key = KeyOfPass(pass);
    if (key.code.size() > kMaxNameLength || key.pack.size() > kMaxNameLength) continue;
    if (seen.emplace(key, true).second) keys.push_back(std::move(key));
  }
  return keys;
}

bool Tally::AddRecipient(const void* recipient) {
  if ((recipient_count_ + 1) * 2 > recipients_.size()) {
    std::vector<std::pair<const void*, uint32_t>> grown(recipients_.size() * 2);
    std::swap(grown, recipients_);
    recipient_count_ = 0;
    for (const auto& [kept, stamp] : grown) {
      if (stamp == stamp_) AddRecipient(kept);
    }
  }
  const size_t mask = recipients_.size() - 1;
  for (size_t at = (reinterpret_cast<uintptr_t>(recipient) >> 4) * 0x9E3779B97F4A7C15ull >> 40 & mask;;
       at = (at + 1) & mask) {
    auto& entry = recipients_[at];
    if (entry.second != stamp_) {
      entry = {recipient, stamp_};
      ++recipient_count_;
      return true;
    }
    if (entry.first == recipient) return false;
  }
}

bool Tally::SameMessage(const void* recipient, const FPrimalChatMessage& message) {
  if (stamp_ != 0 && message.SenderId == sender_id_ && SameTime(message.ReceivedTime, received_time_) &&
      SameUnits(text_, message.Message) && SameUnits(sender_, message.SenderName) && AddRecipient(recipient)) {
    return true;
  }
  if (++stamp_ == 0) {
    // Once in four billion messages: no old stamp may pass for a current one.
    for (auto& entry : recipients_) entry.second = 0;
    std::fill(counted_stamp_.begin(), counted_stamp_.end(), 0);
    stamp_ = 1;
  }
  sender_.assign(*message.SenderName, size_t(message.SenderName.Len()));
  sender_id_ = message.SenderId;
  received_time_ = message.ReceivedTime;
  text_.assign(*message.Message, size_t(message.Message.Len()));
  recipient_count_ = 0;
  AddRecipient(recipient);
  day_ = Today();
  return false;
}

void Tally::Count(const void* recipient, const FPrimalChatMessage& message, const std::vector<uint32_t>& pictured) {
  if (rules_ == nullptr) return;
  SameMessage(recipient, message);
  for (const uint32_t pass : pictured) {
    const Counts::Slot slot = SlotOf(pass);
    if (slot == kNotKept) continue;
    if (slot >= counted_stamp_.size()) counted_stamp_.resize(size_t(slot) + 64, 0);
    if (counted_stamp_[slot] == stamp_) continue;
    counted_stamp_[slot] = stamp_;
    counts_.Add(day_, slot);
  }
}

}  // namespace glyphwork::usage
