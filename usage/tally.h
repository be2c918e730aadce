// The game thread's side of counting: which message a delivery belongs to,
// and which of its codes that message has counted already. The game hands a
// message to its recipients one after the other; a delivery belongs to the
// message before it when the record carries the same sender and text and
// its recipient has not had that message yet.
#pragma once

#include <API/ARK/Ark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "chat/chat_rules.h"
#include "usage/counts.h"

namespace glyphwork::usage {

class Tally {
 public:
  explicit Tally(Counts& counts) : counts_(counts) {}

  // The rules whose passes Count is given, and the files of their packs
  // (EmojiMap order, as PackFiles names them). REQUIRES: `rules` outlives
  // every Count until the next call.
  void UseRules(const ChatRules& rules, const std::vector<std::string>& pack_files);

  // A delivery to `recipient` of `message` (its text as sent) in which the
  // passes `pictured` put their pictures in: each code counts once per
  // message, on the day the message reached its first recipient. No lock and
  // no allocation unless the message brings a day, a code or a recipient
  // count not met before.
  void Count(const void* recipient, const FPrimalChatMessage& message, const std::vector<uint32_t>& pictured);

  // Every code of the rules with the pack that defines it, once each, in the
  // order chat applies them; codes too long to keep are left out.
  std::vector<Key> Configured() const;

 private:
  static constexpr Counts::Slot kUnknown = UINT32_MAX, kNotKept = UINT32_MAX - 1;

  Counts::Slot SlotOf(uint32_t pass);
  Key KeyOfPass(uint32_t pass) const;
  // True when the delivery continues the message before it; else it starts
  // a new one.
  bool SameMessage(const void* recipient, const FPrimalChatMessage& message);
  // Adds the recipient to the current message's; false if it was there.
  bool AddRecipient(const void* recipient);

  Counts& counts_;
  const ChatRules* rules_ = nullptr;
  std::vector<std::string> packs_;  // file names, EmojiMap order
  std::vector<Counts::Slot> pass_slots_;

  // The current message: its sender and text, its recipients (a table of
  // pointers, an entry current when its stamp is the message's), the day it
  // is counted on, and per slot the message that counted it last.
  std::basic_string<TCHAR> sender_;
  unsigned int sender_id_ = 0;
  long double received_time_ = 0;
  std::basic_string<TCHAR> text_;
  std::vector<std::pair<const void*, uint32_t>> recipients_ = std::vector<std::pair<const void*, uint32_t>>(64);
  size_t recipient_count_ = 0;
  uint32_t stamp_ = 0;
  int64_t day_ = 0;
  std::vector<uint32_t> counted_stamp_;
};

}  // namespace glyphwork::usage
