// What the chat hook derives from ConfigDocument and PackDocument: the
// permission groups and the ordered list of (code, markup) passes, built once
// per change of the documents instead of once per delivery.
#pragma once

#include <API/ARK/Ark.h>

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "config/reading.h"

namespace glyphwork {

// ReplaceAll's replacement, returning the number of codes replaced.
size_t ReplaceAllCounted(std::string& text, std::string_view code, std::string_view markup);

class ChatRules {
 public:
  // The community controls of config.json; all off when their keys are absent.
  struct Controls {
    std::optional<uint32_t> max_emoji;  // MaxEmojiPerMessage: at most this many pictures per message
    bool allow_escape = false;          // AllowEscape: "\:code:" shows the code as text
    bool block_typed_markup = false;    // BlockTypedMarkup: tags typed in chat are neutralised
    std::string list_command;           // EmojiListCommand; empty: no command
  };

  // Who one delivery is for. Gate 0 is every recipient who gets pictures;
  // gate g > 0 opens for a recipient in one of gate_groups()[g - 1] (a pack's
  // Groups). A gate is asked about only when a code behind it matters.
  struct Audience {
    static constexpr uint8_t kClosed = 0, kOpen = 1, kNotAsked = 2;
    bool pictures = true;  // false: UsePermissions keeps pictures from this recipient
    // Per entry of gate_groups(); a kNotAsked one is decided by `ask` when
    // first needed, and kept.
    mutable std::vector<uint8_t> gates;
    bool (*ask)(size_t gate) = nullptr;
    // When set, Rewrite and RewriteAscii put here the pass of every code that
    // became a picture, at least once each (usage counting).
    std::vector<uint32_t>* pictured = nullptr;

    bool IsOpen(size_t gate) const {
      if (gates[gate] == kNotAsked) gates[gate] = ask != nullptr && ask(gate) ? kOpen : kClosed;
      return gates[gate] == kOpen;
    }
  };

  // Walks the documents exactly as one delivery would (same lookups, same
  // order) and records where the walk would meet a wrong type instead of
  // raising it: "FILE: KEY: expected ..., found ...", naming the pack's file
  // from `pack_files` (EmojiMap order) or `config_file`. Throws only what
  // allocation throws.
  ChatRules(const nlohmann::json& config, const nlohmann::json& packs, const std::vector<std::string>& pack_files = {},
            const std::string& config_file = "config.json");
  ChatRules(const ChatRules&) = delete;
  ChatRules& operator=(const ChatRules&) = delete;

  // Set when reading UsePermissions fails: every delivery meets this error.
  const std::optional<std::string>& config_error() const { return config_error_; }
  bool use_permissions() const { return use_permissions_; }
  // The group names read before the walk of PermissionsGroups stopped (all of
  // them unless groups_error is set; then every checked delivery meets it
  // after checking these).
  const std::vector<std::string>& groups() const { return groups_; }
  const std::optional<std::string>& groups_error() const { return groups_error_; }
  // Set when building the passes fails: every delivery that gets the
  // rewriting meets this error. The passes are then incomplete; don't rewrite.
  const std::optional<std::string>& passes_error() const { return passes_error_; }

  // The one of the three errors above that is set, or null: a delivery (or
  // the texture loading) would meet a wrong type in these documents.
  const std::string* wrong_type() const;

  const Controls& controls() const { return controls_; }
  // The distinct Groups lists of the packs, in order of first use.
  const std::vector<std::vector<std::string>>& gate_groups() const { return gate_groups_; }
  // The group names of every gate once each, as the engine's strings, and
  // per gate the indices of its groups among them.
  const std::vector<FString>& gate_group_names() const { return gate_group_names_; }
  const std::vector<std::vector<uint32_t>>& gate_members() const { return gate_members_; }

  size_t pass_count() const { return passes_.size(); }
  // A pass's code, and the index of the pack that defines it (EmojiMap order),
  // or kRemap (config/reading.h) for RemapEmoji.
  std::string_view pass_code(uint32_t pass) const { return codes_[passes_[pass].code]; }
  size_t pass_pack(uint32_t pass) const {
    return passes_[pass].source == remap_source_ ? kRemap : passes_[pass].source;
  }

  // The codes that become pictures for `audience`, each once with the markup
  // it gets, grouped by where its picture is defined: packs in EmojiMap order
  // (by file name without extension), then "RemapEmoji". Views into *this.
  struct Listed {
    std::string_view code;
    std::string_view markup;
  };
  std::vector<std::pair<std::string, std::vector<Listed>>> ListFor(const Audience& audience) const;

  // Runs every pass over `text` in order, each replacing all occurrences of
  // its code left to right without rescanning its own markup, with the
  // result of calling ReplaceAll once per pass. Returns false when nothing
  // changed (`out` is then untouched), else true with the result in `out`.
  // Cost: one scan of the text and one lookup per pair of colons in it,
  // whatever the number of passes; one more scan per pass whose markup can
  // form a code with the text around it (a colon in its path, or a name
  // holding markup), and then, with a cap, one copy of the text per
  // replacement. Uses internal scratch buffers: one call at a time.
  //
  // For `audience`: only passes of open gates apply (none without pictures),
  // and with allow_escape a backslash before a code is dropped and the code
  // kept as text, for every recipient. With controls().max_emoji, of the
  // replacements made without it at most that many stay: first the codes
  // that were in `text` as given, leftmost first, whatever pass replaced
  // them; then, where markup formed codes, those in the order they were
  // replaced. Every other code shows as it stood.
  bool Rewrite(std::string_view text, const Audience& audience, std::string& out) const;

  enum class UnitsResult { kUnchanged, kRewritten, kUseRewrite };
  // The same rewriting for a text of ASCII characters only (which is its own
  // UTF-8), with the result in the engine's units that an FString made from
  // Utf8Decode of Rewrite's result would hold. kUseRewrite when that cannot
  // be done without the conversion: markup that may form codes, or markup
  // that is not well-formed UTF-8 or holds a NUL, or a backslash to look at.
  // Same scratch buffers as Rewrite.
  UnitsResult RewriteAscii(std::string_view text, const Audience& audience, std::basic_string<TCHAR>& out) const;

 private:
  struct Pass {
    uint32_t code;  // index into codes_
    std::string markup;
    uint32_t next_same_code;  // the next pass of the same code, or UINT32_MAX
    uint32_t gate;            // 0, or 1 + index into gate_groups_
    uint32_t source;          // index into sources_
    bool may_create_codes;    // its markup can form a code with the text around it
    bool has_units;           // markup_units holds the markup as the engine gets it
    std::basic_string<TCHAR> markup_units;
  };
  struct Occurrence {
    uint32_t pass;  // the first pass of the code
    uint32_t start;
    uint32_t code;
  };
  struct Chosen {
    uint32_t start;
    uint32_t length;
    uint32_t pass;
  };

  // A replacement of a capped rewriting: where its code was typed (kFormed:
  // some of it came from markup), and its code's bytes and tags in saved_.
  struct Replacement {
    static constexpr uint32_t kFormed = UINT32_MAX;
    uint32_t pass;
    uint32_t typed_at;
    uint32_t saved_at;
  };

  struct NewPass {
    std::string code;
    std::string markup;
    uint32_t gate;
    uint32_t source;
  };

  // Reads the controls; throws DocumentError.
  void ReadControls(const nlohmann::json& config, const std::string& config_file);
  // Gives every distinct code an index and a lookup entry.
  void IndexCodes(std::vector<NewPass> passes);
  bool Open(const Audience& audience, uint32_t pass) const {
    return passes_[pass].gate == 0 || audience.IsOpen(passes_[pass].gate - 1);
  }
  // The first pass of `code` that applies to `audience`, or UINT32_MAX.
  uint32_t FirstOpenPass(const Audience& audience, uint32_t code) const;
  // Every occurrence in `text` of every code into occurrences_, ordered by
  // start within each code, with the first pass that applies to `audience`
  // (null: every code, with its first pass).
  void FindOccurrences(std::string_view text, const Audience* audience) const;
  // The replacements as long as no markup may form a code, into chosen_,
  // ordered by start; the pass after which the rest must run pass by pass,
  // or UINT32_MAX.
  uint32_t Choose(std::string_view text, const Audience& audience) const;
  // Keeps the first `max_emoji` of chosen_.
  void Cap() const;
  // Appends the pass of every replacement in chosen_.
  void RecordPictured(std::vector<uint32_t>& pictured) const;
  // The literal pass-by-pass rewriting of `text` from pass `next` on, used
  // once some inserted markup may have formed new codes. With `track`, every
  // replacement is recorded (Replace) and tags_ follows the text.
  void ContinuePassByPass(std::string& text, uint32_t next, const Audience& audience, bool track) const;
  // Rewrite without escapes.
  bool RewriteCodes(std::string_view text, const Audience& audience, std::string& out) const;
  // RewriteCodes with a cap once markup may form codes (Choose returned
  // `switch_after`): the whole rewriting recorded, then the replacements
  // beyond the cap undone.
  bool RewriteCapped(std::string_view text, uint32_t switch_after, const Audience& audience, std::string& out) const;
  // Records in replacements_ a replacement by `pass` of `code`, whose bytes
  // had `code_tags`; its index.
  uint32_t Remember(uint32_t pass, std::string_view code, const uint32_t* code_tags) const;
  // Replaces the code of `pass` at `at` in `text` by its markup and records it.
  void Replace(std::string& text, size_t at, uint32_t pass) const;
  // Puts back what replacements_[index] replaced, once every later
  // replacement that took part of its markup was undone.
  void Undo(std::string& text, uint32_t index) const;
  // With allow_escape: `text` with every backslash-and-code replaced by one
  // kEscaped byte, the codes in `escaped_`; false when there is none.
  bool TakeEscapes(std::string_view text, std::string& out) const;

  std::optional<std::string> config_error_;
  bool use_permissions_ = false;
  std::vector<std::string> groups_;
  std::optional<std::string> groups_error_;
  std::optional<std::string> passes_error_;
  Controls controls_;
  std::vector<std::vector<std::string>> gate_groups_;
  std::vector<FString> gate_group_names_;
  std::vector<std::vector<uint32_t>> gate_members_;
  std::vector<std::string> sources_;  // pack names, then "RemapEmoji"
  uint32_t remap_source_ = UINT32_MAX;

  std::vector<Pass> passes_;
  std::vector<std::string> codes_;                             // distinct codes
  std::vector<uint32_t> first_pass_;                           // per code; later ones chained in Pass
  std::unordered_map<std::string_view, uint32_t> code_index_;  // views into codes_, built last
  // A code with k colons in its name spans k + 2 colons of the text: the
  // distinct k, ascending, bound how many colon pairs a scan looks up.
  std::vector<uint32_t> inner_colon_counts_;
  std::vector<uint8_t> code_length_seen_;
  size_t longest_code_ = 0;
  bool escape_safe_ = true;  // no code or markup holds kEscaped

  mutable std::vector<uint32_t> colons_;
  mutable std::vector<Occurrence> occurrences_;
  mutable std::vector<Chosen> chosen_;
  mutable std::vector<uint8_t> covered_;
  mutable std::vector<uint32_t> candidates_;
  mutable std::vector<uint32_t> escaped_;  // codes taken by TakeEscapes, in order
  mutable std::string unescaped_;
  mutable std::string escaped_text_;
  // A capped rewriting's record: per byte of the text, where it was typed, or
  // kPutIn | the replacement that put it in.
  mutable std::vector<uint32_t> tags_;
  mutable std::vector<Replacement> replacements_;
  mutable std::string saved_;
  mutable std::vector<uint32_t> saved_tags_;
};

}  // namespace glyphwork
