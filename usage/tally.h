// The game thread's side of counting: which message a delivery belongs to,
// and which of its codes that message has counted already.
//
// The game hands a message to its recipients one after the other, within
// one game tick. A delivery belongs to the message before it when it comes
// in the same tick, its record names the same sender (id, and a name of the
// same length) and has a text of the same length that begins and ends alike;
// anything else starts a new message. Players cannot send two lines in one
// tick (the host drops a line within a second of the last). Two lines of the
// server in one tick whose texts differ only in their middle are told apart
// by a recipient who gets both only where the second's pictures differ from
// the first's (those are counted apart); else they count as one.
#pragma once

#include <API/ARK/Ark.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "chat/chat_rules.h"
#include "usage/counts.h"

namespace glyphwork::usage {

// The key pass `pass` of `rules` counts under: its code, and its pack's file
// name (`pack_names` in EmojiMap order) or "RemapEmoji".
Key KeyOfPass(const ChatRules& rules, const std::vector<std::string>& pack_names, uint32_t pass);
// The file names of PackFiles' entries.
std::vector<std::string> PackNames(const std::vector<std::string>& pack_files);
// Every code of `rules` with the pack that defines it, once each, in the
// order chat applies them, as the database keeps them (StorableKey).
std::vector<Key> ConfiguredKeys(const ChatRules& rules, const std::vector<std::string>& pack_names);

class Tally {
 public:
  explicit Tally(Counts& counts);

  // The rules whose passes Count is given, and the files of their packs
  // (EmojiMap order, as PackFiles names them). REQUIRES: `rules` outlives
  // every Count until the next call.
  void UseRules(const ChatRules& rules, const std::vector<std::string>& pack_files);

  // Once per game tick: deliveries of one message come in one tick, and the
  // day is read here rather than at every message.
  void Tick();

  // A delivery to `recipient` of `message` (its text as sent) in which the
  // passes `pictured` put their pictures in: each code counts once per
  // message, on the day of the tick the message came in. `list` names the
  // list's content (an id never given to other content): a further recipient
  // of the message with the list already counted costs no loop over it. No lock, no
  // allocation and no clock unless the message brings a day, a code or more
  // recipients than met before.
  void Count(const void* recipient, const FPrimalChatMessage& message, const std::vector<uint32_t>& pictured,
             uint64_t list);

  // ConfiguredKeys of the rules in use.
  std::vector<Key> Configured() const;

 private:
  static constexpr Counts::Slot kUnknown = UINT32_MAX;

  // What tells one message's record from the next in one tick: its sender's
  // id and name length, its text's length and first and last four units.
  struct Fingerprint {
    unsigned int sender_id = 0;
    int32_t sender_length = -1;
    int32_t text_length = -1;
    uint64_t text_head = 0;
    uint64_t text_tail = 0;
    bool operator==(const Fingerprint&) const = default;
  };
  static Fingerprint FingerprintOf(const FPrimalChatMessage& message) {
    static_assert(sizeof(TCHAR) == 2, "four units in 64 bits");
    Fingerprint fingerprint;
    fingerprint.sender_id = message.SenderId;
    fingerprint.sender_length = message.SenderName.Len();
    const int32_t length = fingerprint.text_length = message.Message.Len();
    const TCHAR* text = *message.Message;
    if (length >= 4) {
      std::memcpy(&fingerprint.text_head, text, 8);
      std::memcpy(&fingerprint.text_tail, text + length - 4, 8);
    } else if (length > 0) {
      std::memcpy(&fingerprint.text_head, text, size_t(length) * sizeof(TCHAR));
    }
    return fingerprint;
  }

  Counts::Slot SlotOf(uint32_t pass) {
    const Counts::Slot slot = pass_slots_[pass];
    return slot != kUnknown ? slot : NewSlotOf(pass);
  }
  Counts::Slot NewSlotOf(uint32_t pass);
  // Adds the recipient to the current message's; false if it was there.
  bool AddRecipient(const void* recipient);
  bool AddRecipientSlowly(const void* recipient);
  void StartMessage(const void* recipient, const Fingerprint& fingerprint);

  Counts& counts_;
  const ChatRules* rules_ = nullptr;
  std::vector<std::string> packs_;  // file names, EmojiMap order
  std::vector<Counts::Slot> pass_slots_;

  uint64_t tick_ = 1;
  int64_t today_ = 0;

  // The current message: its tick and record, its first recipients in a
  // row and the rest in a table of pointers (an entry current when its stamp
  // is the message's), and the slots it has counted.
  uint64_t message_tick_ = 0;
  Fingerprint fingerprint_;
  static constexpr size_t kFirstRecipients = 8;
  std::array<const void*, kFirstRecipients> first_recipients_{};
  size_t recipient_count_ = 0;
  std::vector<std::pair<const void*, uint32_t>> more_recipients_;
  uint32_t stamp_ = 0;
  uint64_t counted_list_ = 0;            // the list the current message counted last, or 0
  std::vector<uint32_t> counted_stamp_;  // per slot: the stamp of the message that counted it last
};

}  // namespace glyphwork::usage
