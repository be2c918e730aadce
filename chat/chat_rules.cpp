#include "chat/chat_rules.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <filesystem>
#include <utility>

#include "chat/chat_hook.h"
#include "common/engine_text.h"
#include "common/utf8_path.h"
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

namespace {

// Stands in the text for an escaped code while the codes are replaced: no
// code and no markup holds it (they are UTF-8, from JSON), nor does a text
// that came from UTF-16.
constexpr char kEscaped = '\xFF';

// The tag of a byte that a replacement put in, with the replacement's index
// in the low bits; a typed byte's tag is its position.
constexpr uint32_t kPutIn = 0x80000000u;

}  // namespace

ChatRules::ChatRules(const json& config, const json& packs, const std::vector<std::string>& pack_files,
                     const std::string& config_file) {
  // The same lookups in the same order as one delivery makes them, so that a
  // wrong type is found where a delivery would meet it. The controls come
  // after UsePermissions: with none of their keys present nothing changes.
  const Place top(config_file, "");
  try {
    use_permissions_ = BoolMember(config, top, "UsePermissions", false);
    ReadControls(config, config_file);
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
  std::vector<NewPass> passes;
  std::vector<uint32_t> pack_gates;
  try {
    ForEachEmoji(
        config, packs, pack_files, config_file,
        [&](const std::string& name, const std::string& path, size_t origin) {
          if (origin == kRemap && remap_source_ == UINT32_MAX) {
            remap_source_ = uint32_t(sources_.size());
            sources_.push_back("RemapEmoji");
          }
          passes.push_back({":" + name + ":", kMarkupPrefix + path + kMarkupSuffix,
                            origin == kRemap ? 0 : pack_gates[origin],
                            origin == kRemap ? remap_source_ : uint32_t(origin)});
        },
        [&](const json& pack, const Place& place, size_t index) {
          // By its UTF-8 name: Windows' path would turn it into the ANSI code page.
          sources_.push_back(Utf8FromPath(PathFromUtf8(PackFileOf(pack_files, index)).stem()));
          uint32_t gate = 0;
          if (const json* groups = FindMember(pack, place, "Groups")) {
            std::vector<std::string> names = StringList(groups, place.file(), "Groups");
            auto it = std::find(gate_groups_.begin(), gate_groups_.end(), names);
            if (it == gate_groups_.end()) it = gate_groups_.insert(gate_groups_.end(), std::move(names));
            gate = uint32_t(it - gate_groups_.begin()) + 1;
          }
          pack_gates.push_back(gate);
        });
  } catch (const DocumentError& error) {
    passes_error_ = error.what();
    return;
  }
  IndexCodes(std::move(passes));
  std::vector<std::string> names;
  for (const auto& groups : gate_groups_) {
    gate_members_.emplace_back();
    for (const std::string& group : groups) {
      auto it = std::find(names.begin(), names.end(), group);
      if (it == names.end()) it = names.insert(names.end(), group);
      gate_members_.back().push_back(uint32_t(it - names.begin()));
    }
  }
  for (const std::string& name : names) gate_group_names_.push_back(FStringFromUtf8(name));
  // Room for a long line of chat, so that the first message after a reload
  // does not pay for growing the scratch buffers.
  constexpr size_t kLine = 512, kCodes = 64;
  colons_.reserve(kLine);
  covered_.reserve(kLine);
  occurrences_.reserve(kCodes);
  chosen_.reserve(kCodes);
  candidates_.reserve(kCodes);
}

void ChatRules::ReadControls(const json& config, const std::string& config_file) {
  const Place top(config_file, "");
  if (const json* max = FindMember(config, top, "MaxEmojiPerMessage")) {
    if (!max->is_number_unsigned() && !(max->is_number_integer() && max->get<int64_t>() >= 0)) {
      throw DocumentError(config_file, "MaxEmojiPerMessage: expected a whole number, 0 or more, found " +
                                           (max->is_number() ? max->dump() : TypeName(*max)));
    }
    controls_.max_emoji = uint32_t(std::min<uint64_t>(max->get<uint64_t>(), UINT32_MAX));
  }
  controls_.allow_escape = BoolMember(config, top, "AllowEscape", false);
  controls_.block_typed_markup = BoolMember(config, top, "BlockTypedMarkup", false);
  controls_.list_command = StringMember(config, top, "EmojiListCommand");
}

const std::string* ChatRules::wrong_type() const {
  for (const auto* error : {&config_error_, &groups_error_, &passes_error_}) {
    if (*error) return &**error;
  }
  return nullptr;
}

void ChatRules::IndexCodes(std::vector<NewPass> passes) {
  // Never grown past this, so that the index's views into the codes stay
  // valid: one table serves to find duplicates and, later, codes in text.
  codes_.reserve(passes.size());
  code_index_.reserve(passes.size());
  passes_.reserve(passes.size());
  std::vector<uint32_t> last_pass;  // per code, while building the chains
  for (NewPass& fresh : passes) {
    std::string& code = fresh.code;
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
    passes_.push_back({id, std::move(fresh.markup), UINT32_MAX, fresh.gate, fresh.source, false, false, {}});
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
    longest_code_ = (std::max)(longest_code_, code.size());
  }
  for (uint32_t k = 0; k < counts_seen.size(); ++k) {
    if (counts_seen[k]) inner_colon_counts_.push_back(k);
  }
  code_length_seen_.assign(longest_code_ + 1, 0);
  for (const std::string& code : codes_) code_length_seen_[code.size()] = 1;
  escape_safe_ = std::none_of(codes_.begin(), codes_.end(),
                              [](const std::string& code) { return code.find(kEscaped) != std::string::npos; });
  for (Pass& pass : passes_) {
    if (pass.markup.find(kEscaped) != std::string::npos) escape_safe_ = false;
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
      pass.markup_units.assign(*units, size_t(units.Len()));
      pass.has_units = true;
    }
  }
}

uint32_t ChatRules::FirstOpenPass(const Audience& audience, uint32_t code) const {
  if (!audience.pictures) return UINT32_MAX;
  // Without a pack behind Groups every pass is open, as before there were
  // gates: nothing to ask.
  if (gate_groups_.empty()) return first_pass_[code];
  for (uint32_t pass = first_pass_[code]; pass != UINT32_MAX; pass = passes_[pass].next_same_code) {
    if (Open(audience, pass)) return pass;
  }
  return UINT32_MAX;
}

void ChatRules::FindOccurrences(std::string_view text, const Audience* audience) const {
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
      const uint32_t pass = audience == nullptr ? first_pass_[it->second] : FirstOpenPass(*audience, it->second);
      if (pass != UINT32_MAX) occurrences_.push_back({pass, colons_[first], it->second});
    }
  }
}

uint32_t ChatRules::Choose(std::string_view text, const Audience& audience) const {
  chosen_.clear();
  FindOccurrences(text, &audience);
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

void ChatRules::RecordPictured(std::vector<uint32_t>& pictured) const {
  // One resize, not a push_back per code: this runs in the hook.
  const size_t had = pictured.size();
  pictured.resize(had + chosen_.size());
  for (size_t i = 0; i < chosen_.size(); ++i) pictured[had + i] = chosen_[i].pass;
}

void ChatRules::Cap() const {
  if (controls_.max_emoji && chosen_.size() > *controls_.max_emoji) chosen_.resize(*controls_.max_emoji);
}

bool ChatRules::Rewrite(std::string_view text, const Audience& audience, std::string& out) const {
  if (audience.pictured != nullptr) audience.pictured->clear();
  const bool escapes = controls_.allow_escape && escape_safe_ && text.find('\\') != std::string_view::npos;
  if (!escapes || !TakeEscapes(text, escaped_text_)) return audience.pictures && RewriteCodes(text, audience, out);
  // The codes go back, without their backslashes, where the escapes stood.
  const std::string& result =
      audience.pictures && RewriteCodes(escaped_text_, audience, unescaped_) ? unescaped_ : escaped_text_;
  out.clear();
  size_t next = 0;
  for (const char c : result) {
    if (c == kEscaped) {
      out += codes_[escaped_[next++]];
    } else {
      out += c;
    }
  }
  return true;
}

bool ChatRules::TakeEscapes(std::string_view text, std::string& out) const {
  FindOccurrences(text, nullptr);
  // Left to right; where codes start together, the one applied first.
  std::sort(occurrences_.begin(), occurrences_.end(), [](const Occurrence& a, const Occurrence& b) {
    return a.start != b.start ? a.start < b.start : a.pass < b.pass;
  });
  escaped_.clear();
  out.clear();
  size_t copied = 0;  // text before this is in `out`, or was escaped
  for (const Occurrence& occurrence : occurrences_) {
    const size_t start = occurrence.start;
    if (start == 0 || start - 1 < copied || text[start - 1] != '\\') continue;
    out.append(text.substr(copied, start - 1 - copied));
    out += kEscaped;
    escaped_.push_back(occurrence.code);
    copied = start + codes_[occurrence.code].size();
  }
  if (escaped_.empty()) return false;
  out.append(text.substr(copied));
  return true;
}

bool ChatRules::RewriteCodes(std::string_view text, const Audience& audience, std::string& out) const {
  const uint32_t switch_after = Choose(text, audience);
  if (switch_after != UINT32_MAX && controls_.max_emoji) return RewriteCapped(text, switch_after, audience, out);
  Cap();
  if (chosen_.empty()) return false;
  if (audience.pictured != nullptr) RecordPictured(*audience.pictured);

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

  if (switch_after != UINT32_MAX) ContinuePassByPass(out, switch_after + 1, audience, false);
  return true;
}

bool ChatRules::RewriteCapped(std::string_view text, uint32_t switch_after, const Audience& audience,
                              std::string& out) const {
  // The rewriting without the cap, recorded: what Choose found (all of it
  // typed), then the rest pass by pass.
  out.clear();
  tags_.clear();
  replacements_.clear();
  saved_.clear();
  saved_tags_.clear();
  size_t copied = 0;  // text before this is in `out`
  for (const Chosen& c : chosen_) {
    out.append(text.substr(copied, c.start - copied));
    for (; copied < c.start + c.length; ++copied) tags_.push_back(uint32_t(copied));
    // The code's tags go into the record; its markup's take their place.
    const uint32_t index = Remember(c.pass, text.substr(c.start, c.length), &tags_[tags_.size() - c.length]);
    tags_.resize(tags_.size() - c.length);
    const std::string& markup = passes_[c.pass].markup;
    out.append(markup);
    tags_.insert(tags_.end(), markup.size(), kPutIn | index);
  }
  out.append(text.substr(copied));
  for (; copied < text.size(); ++copied) tags_.push_back(uint32_t(copied));
  ContinuePassByPass(out, switch_after + 1, audience, true);

  std::vector<uint32_t> typed;  // by where they were typed, once sorted
  for (uint32_t i = 0; i < replacements_.size(); ++i) {
    if (replacements_[i].typed_at != Replacement::kFormed) typed.push_back(i);
  }
  const size_t max = *controls_.max_emoji;
  if (typed.size() >= max) {
    // No room for formed codes: the text as given with the first typed codes
    // replaced, and nothing else.
    if (max == 0) return false;
    std::sort(typed.begin(), typed.end(),
              [&](uint32_t a, uint32_t b) { return replacements_[a].typed_at < replacements_[b].typed_at; });
    out.clear();
    size_t at = 0;
    for (size_t k = 0; k < max; ++k) {
      const Replacement& r = replacements_[typed[k]];
      const Pass& pass = passes_[r.pass];
      out.append(text.substr(at, r.typed_at - at));
      out.append(pass.markup);
      at = r.typed_at + codes_[pass.code].size();
      if (audience.pictured != nullptr) audience.pictured->push_back(r.pass);
    }
    out.append(text.substr(at));
    return true;
  }
  // Every typed code, and the formed ones in the order they were made while
  // the cap allows; the others are undone, the last first, so that each finds
  // its markup whole again.
  size_t formed_left = max - typed.size();
  uint32_t first_undone = uint32_t(replacements_.size());
  for (uint32_t i = 0; i < replacements_.size(); ++i) {
    if (replacements_[i].typed_at != Replacement::kFormed) continue;
    if (formed_left == 0) {
      first_undone = i;
      break;
    }
    --formed_left;
  }
  for (uint32_t i = uint32_t(replacements_.size()); i-- > 0;) {
    if (i >= first_undone && replacements_[i].typed_at == Replacement::kFormed) {
      Undo(out, i);
    } else if (audience.pictured != nullptr) {
      audience.pictured->push_back(replacements_[i].pass);
    }
  }
  return true;
}

uint32_t ChatRules::Remember(uint32_t pass, std::string_view code, const uint32_t* code_tags) const {
  // Typed bytes next to each other in the text were next to each other as
  // typed: markup put in between would be between them still.
  const bool typed = std::none_of(code_tags, code_tags + code.size(), [](uint32_t tag) { return tag & kPutIn; });
  replacements_.push_back({pass, typed ? code_tags[0] : Replacement::kFormed, uint32_t(saved_.size())});
  saved_.append(code);
  saved_tags_.insert(saved_tags_.end(), code_tags, code_tags + code.size());
  return uint32_t(replacements_.size() - 1);
}

void ChatRules::Replace(std::string& text, size_t at, uint32_t pass) const {
  const Pass& p = passes_[pass];
  const size_t length = codes_[p.code].size();
  const auto code_tags = tags_.begin() + ptrdiff_t(at);
  const uint32_t index = Remember(pass, std::string_view(text).substr(at, length), &*code_tags);
  text.replace(at, length, p.markup);
  tags_.erase(code_tags, code_tags + ptrdiff_t(length));
  tags_.insert(tags_.begin() + ptrdiff_t(at), p.markup.size(), kPutIn | index);
}

void ChatRules::Undo(std::string& text, uint32_t index) const {
  const Replacement& r = replacements_[index];
  const Pass& p = passes_[r.pass];
  const size_t length = codes_[p.code].size();
  const auto markup = std::find(tags_.begin(), tags_.end(), kPutIn | index);
  const size_t at = size_t(markup - tags_.begin());
  text.replace(at, p.markup.size(), saved_, r.saved_at, length);
  tags_.erase(markup, markup + ptrdiff_t(p.markup.size()));
  const auto saved = saved_tags_.begin() + ptrdiff_t(r.saved_at);
  tags_.insert(tags_.begin() + ptrdiff_t(at), saved, saved + ptrdiff_t(length));
}

ChatRules::UnitsResult ChatRules::RewriteAscii(std::string_view text, const Audience& audience,
                                               std::basic_string<TCHAR>& out) const {
  if (audience.pictured != nullptr) audience.pictured->clear();
  if (controls_.allow_escape && text.find('\\') != std::string_view::npos) return UnitsResult::kUseRewrite;
  if (!audience.pictures) return UnitsResult::kUnchanged;
  const uint32_t switch_after = Choose(text, audience);
  if (chosen_.empty()) return UnitsResult::kUnchanged;
  if (switch_after != UINT32_MAX) return UnitsResult::kUseRewrite;
  Cap();
  if (chosen_.empty()) return UnitsResult::kUnchanged;
  // The pictured passes are written in the loop that runs anyway (Rewrite
  // starts afresh where this gives up).
  uint32_t* pictured = nullptr;
  if (audience.pictured != nullptr) {
    audience.pictured->resize(chosen_.size());
    pictured = audience.pictured->data();
  }
  size_t size = text.size();
  for (const Chosen& c : chosen_) {
    const Pass& pass = passes_[c.pass];
    if (!pass.has_units) return UnitsResult::kUseRewrite;
    size += pass.markup_units.size() - c.length;
    if (pictured != nullptr) *pictured++ = c.pass;
  }
  out.resize(size);
  TCHAR* put = out.data();
  size_t at = 0;
  for (const Chosen& c : chosen_) {
    for (; at < c.start; ++at) *put++ = TCHAR(static_cast<unsigned char>(text[at]));
    const std::basic_string<TCHAR>& units = passes_[c.pass].markup_units;
    put = std::copy(units.begin(), units.end(), put);
    at = c.start + c.length;
  }
  for (; at < text.size(); ++at) *put++ = TCHAR(static_cast<unsigned char>(text[at]));
  return UnitsResult::kRewritten;
}

void ChatRules::ContinuePassByPass(std::string& text, uint32_t next, const Audience& audience, bool track) const {
  // Markup that may form codes: run the passes one by one as ReplaceAll does,
  // but only those whose code is in the text; look again after every markup
  // that may have formed new codes.
  for (;;) {
    FindOccurrences(text, nullptr);
    candidates_.clear();
    uint32_t previous_code = UINT32_MAX;
    std::sort(occurrences_.begin(), occurrences_.end(),
              [](const Occurrence& a, const Occurrence& b) { return a.code < b.code; });
    for (const Occurrence& occurrence : occurrences_) {
      if (occurrence.code == previous_code) continue;
      previous_code = occurrence.code;
      for (uint32_t pass = first_pass_[occurrence.code]; pass != UINT32_MAX; pass = passes_[pass].next_same_code) {
        if (pass >= next && Open(audience, pass)) candidates_.push_back(pass);
      }
    }
    std::sort(candidates_.begin(), candidates_.end());
    bool look_again = false;
    for (const uint32_t pass : candidates_) {
      const Pass& p = passes_[pass];
      size_t replaced = 0;
      if (track) {
        for (size_t at = text.find(codes_[p.code]); at != std::string::npos;
             at = text.find(codes_[p.code], at + p.markup.size())) {
          Replace(text, at, pass);
          ++replaced;
        }
      } else {
        replaced = ReplaceAllCounted(text, codes_[p.code], p.markup);
      }
      if (replaced > 0 && !track && audience.pictured != nullptr) audience.pictured->push_back(pass);
      if (replaced > 0 && p.may_create_codes) {
        next = pass + 1;
        look_again = true;
        break;
      }
    }
    if (!look_again) return;
  }
}

std::vector<std::pair<std::string, std::vector<ChatRules::Listed>>> ChatRules::ListFor(const Audience& audience) const {
  std::vector<std::pair<std::string, std::vector<Listed>>> sources;
  if (!audience.pictures || passes_error_ || groups_error_ || config_error_) return sources;
  for (const std::string& name : sources_) sources.emplace_back(name, std::vector<Listed>());
  std::vector<uint8_t> seen(codes_.size(), 0);
  for (uint32_t pass = 0; pass < passes_.size(); ++pass) {
    const Pass& p = passes_[pass];
    if (seen[p.code] || !Open(audience, pass)) continue;
    seen[p.code] = 1;
    sources[p.source].second.push_back({codes_[p.code], p.markup});
  }
  std::erase_if(sources, [](const auto& source) { return source.second.empty(); });
  return sources;
}

}  // namespace glyphwork
