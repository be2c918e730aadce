#include "chat/chat_rules.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

#include "chat/chat_hook.h"
#include "config/reading.h"

namespace glyphwork {

using nlohmann::json;

size_t ReplaceAllCounted(std::string& text, std::string_view code, std::string_view markup) {
  if (code.empty()) return 0;
  size_t count = 0;
  for (size_t at = text.find(code); at != std::string::npos; at = text.find(code, at + markup.size())) {
    text.replace(at, code.size(), markup);
    ++count;
  }
  return count;
}

ChatRules::ChatRules(const json& config, const json& packs, const std::vector<std::string>& pack_files,
                     const std::string& config_file) {
  // The same lookups in the same order as one delivery makes them, so that a
  // wrong type is found where a delivery would meet it.
  const Place top(config_file, "");
  try {
    use_permissions_ = BoolMember(config, top, "UsePermissions", false);
  } catch (const DocumentError& error) {
    config_error_ = error.what();
    return;
  }
  if (use_permissions_) {
    try {
      ForEachElement(FindMember(config, top, "PermissionsGroups"), config_file, "PermissionsGroups",
                     [&](const json& group, const Place& place) { groups_.push_back(AsString(group, place)); });
    } catch (const DocumentError& error) {
      groups_error_ = error.what();
      return;
    }
  }
  std::vector<std::pair<std::string, std::string>> passes;
  try {
    ForEachEmoji(config, packs, pack_files, config_file, [&](const std::string& name, const std::string& path) {
      passes.emplace_back(":" + name + ":", kMarkupPrefix + path + kMarkupSuffix);
    });
  } catch (const DocumentError& error) {
    passes_error_ = error.what();
    return;
  }
  IndexCodes(std::move(passes));
  // Room for a long line of chat, so that the first message after a reload
  // does not pay for growing the scratch buffers.
  constexpr size_t kLine = 512, kCodes = 64;
  colons_.reserve(kLine);
  covered_.reserve(kLine);
  occurrences_.reserve(kCodes);
  chosen_.reserve(kCodes);
  candidates_.reserve(kCodes);
}

const std::string* ChatRules::wrong_type() const {
  for (const auto* error : {&config_error_, &groups_error_, &passes_error_}) {
    if (*error) return &**error;
  }
  return nullptr;
}

void ChatRules::IndexCodes(std::vector<std::pair<std::string, std::string>> passes) {
  // Never grown past this, so that the index's views into the codes stay
  // valid: one table serves to find duplicates and, later, codes in text.
  codes_.reserve(passes.size());
  code_index_.reserve(passes.size());
  passes_.reserve(passes.size());
  std::vector<uint32_t> last_pass;  // per code, while building the chains
  for (auto& [code, markup] : passes) {
    const uint32_t pass = uint32_t(passes_.size());
    uint32_t id;
    if (const auto it = code_index_.find(code); it != code_index_.end()) {
      id = it->second;
      passes_[last_pass[id]].next_same_code = pass;
      last_pass[id] = pass;
    } else {
      id = uint32_t(codes_.size());
      codes_.push_back(std::move(code));
      code_index_.emplace(std::string_view(codes_.back()), id);
      first_pass_.push_back(pass);
      last_pass.push_back(pass);
    }
    passes_.push_back({id, std::move(markup), UINT32_MAX, false, false, {}});
  }

  // A new code can only appear where markup went in: it starts or ends inside
  // the markup (the markup holds a colon) or holds the whole markup (the code
  // holds the markup prefix). Markup that can do neither leaves the set of
  // codes in the text as it was, minus the ones it replaced.
  bool a_code_holds_markup = false;
  std::vector<bool> counts_seen;
  for (const std::string& code : codes_) {
    if (code.find(kMarkupPrefix) != std::string::npos) a_code_holds_markup = true;
    const size_t inner = size_t(std::count(code.begin(), code.end(), ':')) - 2;
    if (counts_seen.size() <= inner) counts_seen.resize(inner + 1);
    counts_seen[inner] = true;
    longest_code_ = std::max(longest_code_, code.size());
  }
  for (uint32_t k = 0; k < counts_seen.size(); ++k) {
    if (counts_seen[k]) inner_colon_counts_.push_back(k);
  }
  code_length_seen_.assign(longest_code_ + 1, 0);
  for (const std::string& code : codes_) code_length_seen_[code.size()] = 1;
  for (Pass& pass : passes_) {
    pass.may_create_codes = a_code_holds_markup || pass.markup.find(':') != std::string::npos;
    // Well-formed markup without NUL converts on its own as it would inside
    // the whole text: keep it as the engine's units, made the engine's way.
    // ASCII is its own UTF-8 and UTF-16, as the hook's ASCII path relies on.
    if (std::all_of(pass.markup.begin(), pass.markup.end(), [](char c) { return c > 0; })) {
      pass.markup_units.assign(pass.markup.begin(), pass.markup.end());
      pass.has_units = true;
      continue;
    }
    const std::wstring wide = AsaApi::Tools::Utf8Decode(pass.markup);
    if (pass.markup.find('\0') == std::string::npos && AsaApi::Tools::Utf8Encode(wide) == pass.markup) {
      const FString units(wide.c_str());
      pass.markup_units.assign(units.Units(), size_t(units.Len()));
      pass.has_units = true;
    }
  }
}

void ChatRules::FindOccurrences(std::string_view text) const {
  occurrences_.clear();
  if (codes_.empty()) return;
  const void* first_colon = std::memchr(text.data(), ':', text.size());
  if (first_colon == nullptr) return;
  // From there eight bytes at a time, without a branch per byte: a text of
  // colons costs no more than one with few.
  if (colons_.size() < text.size() + 1) colons_.resize(text.size() + 1);
  size_t count = 0;
  size_t i = size_t(static_cast<const char*>(first_colon) - text.data());
  static_assert(std::endian::native == std::endian::little, "colon positions are read little-endian");
  constexpr uint64_t kColons = 0x3A3A3A3A3A3A3A3AULL, kLow7 = 0x7F7F7F7F7F7F7F7FULL;
  for (; i + 8 <= text.size(); i += 8) {
    uint64_t block;
    std::memcpy(&block, text.data() + i, 8);
    const uint64_t x = block ^ kColons;                     // a zero byte where a colon stands
    uint64_t zeros = ~(((x & kLow7) + kLow7) | x | kLow7);  // exactly 0x80 in each zero byte
    while (zeros != 0) {
      // The first byte in memory is the lowest on little-endian machines.
      colons_[count++] = uint32_t(i + size_t(std::countr_zero(zeros) >> 3));
      zeros &= zeros - 1;
    }
  }
  for (; i < text.size(); ++i) {
    colons_[count] = uint32_t(i);
    count += text[i] == ':';
  }
  // The occurrences of a code with k colons in its name are exactly the texts
  // from a colon to the (k + 1)th colon after it.
  for (size_t first = 0; first < count; ++first) {
    for (const uint32_t inner : inner_colon_counts_) {
      const size_t last = first + inner + 1;
      if (last >= count) break;
      const size_t length = colons_[last] - colons_[first] + 1;
      if (length > longest_code_) break;
      if (!code_length_seen_[length]) continue;
      const auto it = code_index_.find(text.substr(colons_[first], length));
      if (it == code_index_.end()) continue;
      occurrences_.push_back({first_pass_[it->second], colons_[first], it->second});
    }
  }
}

uint32_t ChatRules::Choose(std::string_view text) const {
  chosen_.clear();
  FindOccurrences(text);
  if (occurrences_.empty()) return UINT32_MAX;

  // While every markup put in so far forms no code, each pass can only match
  // within what is left of the original text, and a code's later passes find
  // nothing its first pass left. So the result is the original text with
  // intervals replaced, chosen pass by pass: a code's occurrences left to
  // right, skipping those that overlap one chosen before.
  std::sort(occurrences_.begin(), occurrences_.end(), [](const Occurrence& a, const Occurrence& b) {
    return a.pass != b.pass ? a.pass < b.pass : a.start < b.start;
  });
  covered_.assign(text.size(), 0);
  uint32_t switch_after = UINT32_MAX;
  for (size_t i = 0; i < occurrences_.size();) {
    const uint32_t pass = occurrences_[i].pass;
    const uint32_t length = uint32_t(codes_[occurrences_[i].code].size());
    bool replaced = false;
    for (; i < occurrences_.size() && occurrences_[i].pass == pass; ++i) {
      // Covered also by this pass's own choices: its scan resumes after them.
      const uint32_t start = occurrences_[i].start;
      if (std::memchr(&covered_[start], 1, length) != nullptr) continue;
      std::memset(&covered_[start], 1, length);
      chosen_.push_back({start, length, pass});
      replaced = true;
    }
    if (replaced && passes_[pass].may_create_codes) {
      switch_after = pass;
      break;
    }
  }
  std::sort(chosen_.begin(), chosen_.end(), [](const Chosen& a, const Chosen& b) { return a.start < b.start; });
  return switch_after;
}

bool ChatRules::Rewrite(std::string_view text, std::string& out) const {
  const uint32_t switch_after = Choose(text);
  if (chosen_.empty()) return false;

  size_t size = text.size();
  for (const Chosen& c : chosen_) size += passes_[c.pass].markup.size() - c.length;
  out.clear();
  out.reserve(size);
  size_t at = 0;
  for (const Chosen& c : chosen_) {
    out.append(text.substr(at, c.start - at));
    out.append(passes_[c.pass].markup);
    at = c.start + c.length;
  }
  out.append(text.substr(at));

  if (switch_after != UINT32_MAX) ContinuePassByPass(out, switch_after + 1);
  return true;
}

ChatRules::UnitsResult ChatRules::RewriteAscii(std::string_view text, std::u16string& out) const {
  const uint32_t switch_after = Choose(text);
  if (chosen_.empty()) return UnitsResult::kUnchanged;
  if (switch_after != UINT32_MAX) return UnitsResult::kUseRewrite;
  size_t size = text.size();
  for (const Chosen& c : chosen_) {
    const Pass& pass = passes_[c.pass];
    if (!pass.has_units) return UnitsResult::kUseRewrite;
    size += pass.markup_units.size() - c.length;
  }
  out.resize(size);
  char16_t* put = out.data();
  size_t at = 0;
  for (const Chosen& c : chosen_) {
    for (; at < c.start; ++at) *put++ = char16_t(static_cast<unsigned char>(text[at]));
    const std::u16string& units = passes_[c.pass].markup_units;
    put = std::copy(units.begin(), units.end(), put);
    at = c.start + c.length;
  }
  for (; at < text.size(); ++at) *put++ = char16_t(static_cast<unsigned char>(text[at]));
  return UnitsResult::kRewritten;
}

void ChatRules::ContinuePassByPass(std::string& text, uint32_t next) const {
  // Markup that may form codes: run the passes one by one as ReplaceAll does,
  // but only those whose code is in the text; look again after every markup
  // that may have formed new codes.
  for (;;) {
    FindOccurrences(text);
    candidates_.clear();
    uint32_t previous_code = UINT32_MAX;
    std::sort(occurrences_.begin(), occurrences_.end(),
              [](const Occurrence& a, const Occurrence& b) { return a.code < b.code; });
    for (const Occurrence& occurrence : occurrences_) {
      if (occurrence.code == previous_code) continue;
      previous_code = occurrence.code;
      for (uint32_t pass = first_pass_[occurrence.code]; pass != UINT32_MAX; pass = passes_[pass].next_same_code) {
        if (pass >= next) candidates_.push_back(pass);
      }
    }
    std::sort(candidates_.begin(), candidates_.end());
    bool look_again = false;
    for (const uint32_t pass : candidates_) {
      const Pass& p = passes_[pass];
      if (ReplaceAllCounted(text, codes_[p.code], p.markup) > 0 && p.may_create_codes) {
        next = pass + 1;
        look_again = true;
        break;
      }
    }
    if (!look_again) return;
  }
}

}  // namespace glyphwork
