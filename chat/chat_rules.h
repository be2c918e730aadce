// What the chat hook derives from ConfigDocument and PackDocument: the
// permission groups and the ordered list of (code, markup) passes, built once
// per change of the documents instead of once per delivery.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace glyphwork {

// ReplaceAll's replacement, returning the number of codes replaced.
size_t ReplaceAllCounted(std::string& text, std::string_view code, std::string_view markup);

class ChatRules {
 public:
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

  size_t pass_count() const { return passes_.size(); }

  // Runs every pass over `text` in order, each replacing all occurrences of
  // its code left to right without rescanning its own markup, with the
  // result of calling ReplaceAll once per pass. Returns false when nothing
  // changed (`out` is then untouched), else true with the result in `out`.
  // Cost: one scan of the text and one lookup per pair of colons in it,
  // whatever the number of passes; one more scan per pass whose markup can
  // form a code with the text around it (a colon in its path, or a name
  // holding markup). Uses internal scratch buffers: one call at a time.
  bool Rewrite(std::string_view text, std::string& out) const;

  enum class UnitsResult { kUnchanged, kRewritten, kUseRewrite };
  // The same rewriting for a text of ASCII characters only (which is its own
  // UTF-8), with the result in the UTF-16 units that converting Rewrite's
  // result would give. kUseRewrite when that cannot be done without the
  // conversion: markup that may form codes, or markup that is not
  // well-formed UTF-8 or holds a NUL. Same scratch buffers as Rewrite.
  UnitsResult RewriteAscii(std::string_view text, std::u16string& out) const;

 private:
  struct Pass {
    uint32_t code;  // index into codes_
    std::string markup;
    uint32_t next_same_code;  // the next pass of the same code, or UINT32_MAX
    bool may_create_codes;    // its markup can form a code with the text around it
    bool has_units;           // markup_units holds the markup as the engine gets it
    std::u16string markup_units;
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

  // Gives every distinct code an index and a lookup entry.
  void IndexCodes(std::vector<std::pair<std::string, std::string>> passes);
  // Every occurrence in `text` of every code into occurrences_, ordered by
  // start within each code.
  void FindOccurrences(std::string_view text) const;
  // The replacements as long as no markup may form a code, into chosen_,
  // ordered by start; the pass after which the rest must run pass by pass,
  // or UINT32_MAX.
  uint32_t Choose(std::string_view text) const;
  // The literal pass-by-pass rewriting of `text` from pass `next` on, used
  // once some inserted markup may have formed new codes.
  void ContinuePassByPass(std::string& text, uint32_t next) const;

  std::optional<std::string> config_error_;
  bool use_permissions_ = false;
  std::vector<std::string> groups_;
  std::optional<std::string> groups_error_;
  std::optional<std::string> passes_error_;

  std::vector<Pass> passes_;
  std::vector<std::string> codes_;                             // distinct codes
  std::vector<uint32_t> first_pass_;                           // per code; later ones chained in Pass
  std::unordered_map<std::string_view, uint32_t> code_index_;  // views into codes_, built last
  // A code with k colons in its name spans k + 2 colons of the text: the
  // distinct k, ascending, bound how many colon pairs a scan looks up.
  std::vector<uint32_t> inner_colon_counts_;
  std::vector<uint8_t> code_length_seen_;
  size_t longest_code_ = 0;

  mutable std::vector<uint32_t> colons_;
  mutable std::vector<Occurrence> occurrences_;
  mutable std::vector<Chosen> chosen_;
  mutable std::vector<uint8_t> covered_;
  mutable std::vector<uint32_t> candidates_;
};

}  // namespace glyphwork
