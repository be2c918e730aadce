#include "tests/reference/literal_chat.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <stdexcept>
#include <vector>

namespace glyphwork::reference {

using nlohmann::json;

namespace {
const std::string kPrefix = "<img src=\"chat.image\" path=\"";
const std::string kSuffix = "\"/>";
}  // namespace

size_t LiteralReplaceAll(std::string& text, const std::string& code, const std::string& markup) {
  if (code.empty()) return 0;
  size_t position = 0, replaced = 0;
  for (;; ++replaced) {
    const size_t found = text.find(code, position);
    if (found == std::string::npos) return replaced;
    text.replace(found, code.size(), markup);
    position = found + markup.size();
  }
}

std::string LiteralRewrite(const json& config, const json& packs, const std::string& original, const InGroup& in_group,
                           const Pictured& pictured) {
  std::string text = original;
  if (config.value("UsePermissions", false)) {
    bool allowed = false;
    const json groups = config.value("PermissionsGroups", json::array());
    for (const json& group : groups) {
      if (in_group(group.get<std::string>())) allowed = true;
    }
    if (!allowed) return text;
  }

  const auto replace = [&](const std::string& code, const std::string& markup, size_t pack) {
    if (LiteralReplaceAll(text, code, markup) > 0 && pictured) pictured(code, pack);
  };
  const json emoji_map = packs.value("EmojiMap", json::array());
  size_t pack_index = 0;
  for (const json& pack : emoji_map) {
    const std::string emoji_path = pack.value("EmojiPath", std::string());
    const json emoji_array = pack.value("EmojiArray", json::array());
    for (const json& entry : emoji_array) {
      const std::string name = entry.get<std::string>();
      const std::string object_path = emoji_path + name + "." + name;
      replace(":" + name + ":", kPrefix + object_path + kSuffix, pack_index);
    }
    ++pack_index;
  }

  const json remap_emoji = config.value("RemapEmoji", json::array());
  for (const json& remap : remap_emoji) {
    const std::string path = remap.value("Path", std::string());
    const std::string name = remap.value("Name", std::string());
    replace(":" + name + ":", kPrefix + path + kSuffix, SIZE_MAX);
  }
  return text;
}

std::string LiteralRewriteWithControls(const json& config, const json& packs, const std::string& original,
                                       const InGroup& in_group, const Pictured& pictured) {
  std::map<std::string, bool> asked;
  const auto in = [&](const std::string& group) {
    const auto it = asked.find(group);
    return it != asked.end() ? it->second : (asked[group] = in_group(group));
  };

  // Every key is read, as the hook reads every key, so that a wrong type
  // throws here too.
  const bool use_permissions = config.value("UsePermissions", false);
  size_t cap = SIZE_MAX;
  if (config.contains("MaxEmojiPerMessage")) {
    const json& max = config["MaxEmojiPerMessage"];
    if (!max.is_number_integer() || max.get<int64_t>() < 0) throw std::invalid_argument("MaxEmojiPerMessage");
    cap = max.get<size_t>();
  }
  const bool allow_escape = config.value("AllowEscape", false);
  const bool block_typed_markup = config.value("BlockTypedMarkup", false);
  config.value("EmojiListCommand", std::string());

  std::string text;
  for (size_t i = 0; i < original.size(); ++i) {
    const bool tag = original[i] == '<' && i + 1 < original.size() &&
                     (original[i + 1] == '/' || std::isalpha(static_cast<unsigned char>(original[i + 1])));
    text += tag && block_typed_markup ? std::string("\xE2\x80\xB9") : original.substr(i, 1);
  }

  bool allowed = true;
  if (use_permissions) {
    allowed = false;
    for (const json& group : config.value("PermissionsGroups", json::array())) {
      if (in(group.get<std::string>())) allowed = true;
    }
  }
  struct Pass {
    std::string code;
    std::string markup;
    bool open;
    size_t pack;  // as Pictured tells it
  };
  std::vector<Pass> passes;
  size_t pack_index = 0;
  for (const json& pack : packs.value("EmojiMap", json::array())) {
    const size_t index = pack_index++;
    bool open = true;
    if (pack.contains("Groups")) {
      open = false;
      for (const json& group : pack["Groups"]) {
        if (in(group.get<std::string>())) open = true;
      }
    }
    const std::string prefix = pack.value("EmojiPath", std::string());
    for (const json& entry : pack.value("EmojiArray", json::array())) {
      const std::string name = entry.get<std::string>();
      passes.push_back({":" + name + ":", kPrefix + prefix + name + "." + name + kSuffix, open, index});
    }
  }
  for (const json& remap : config.value("RemapEmoji", json::array())) {
    const std::string path = remap.value("Path", std::string());
    passes.push_back({":" + remap.value("Name", std::string()) + ":", kPrefix + path + kSuffix, true, SIZE_MAX});
  }

  // Escaped codes leave a byte no text or code holds, and come back last.
  std::vector<std::string> escaped;
  if (allow_escape) {
    std::string kept;
    for (size_t i = 0; i < text.size();) {
      const Pass* first = nullptr;
      if (text[i] == '\\') {
        for (const Pass& pass : passes) {
          if (text.compare(i + 1, pass.code.size(), pass.code) == 0) {
            first = &pass;
            break;
          }
        }
      }
      if (first == nullptr) {
        kept += text[i++];
        continue;
      }
      kept += '\xFF';
      escaped.push_back(first->code);
      i += 1 + first->code.size();
    }
    text = kept;
  }

  // Each byte knows where it was typed, or which replacement put it in.
  struct Byte {
    char c;
    int typed_at;  // -1: put in
    int put_by;    // -1: typed
  };
  struct Replacement {
    size_t pass;
    std::vector<Byte> code;  // what it replaced
    bool typed;              // every byte of its code was typed
  };
  std::vector<Byte> bytes;
  for (size_t i = 0; i < text.size(); ++i) bytes.push_back({text[i], int(i), -1});
  std::vector<Replacement> replacements;
  for (size_t p = 0; allowed && p < passes.size(); ++p) {
    if (!passes[p].open) continue;
    const std::string& code = passes[p].code;
    // ReplaceAll as written, on the bytes.
    for (size_t i = 0; i + code.size() <= bytes.size();) {
      bool found = true;
      for (size_t k = 0; k < code.size(); ++k) {
        if (bytes[i + k].c != code[k]) found = false;
      }
      if (!found) {
        ++i;
        continue;
      }
      Replacement replacement{p, std::vector<Byte>(bytes.begin() + i, bytes.begin() + i + code.size()), true};
      for (const Byte& b : replacement.code) {
        if (b.typed_at < 0) replacement.typed = false;
      }
      std::vector<Byte> markup;
      for (const char c : passes[p].markup) markup.push_back({c, -1, int(replacements.size())});
      replacements.push_back(replacement);
      bytes.erase(bytes.begin() + i, bytes.begin() + i + code.size());
      bytes.insert(bytes.begin() + i, markup.begin(), markup.end());
      i += markup.size();
    }
  }

  // The cap keeps the first codes as typed, from the left, then those that
  // markup formed, in the order they were replaced.
  std::vector<bool> kept(replacements.size(), false);
  std::vector<std::pair<int, size_t>> typed;
  for (size_t r = 0; r < replacements.size(); ++r) {
    if (replacements[r].typed) typed.push_back({replacements[r].code[0].typed_at, r});
  }
  std::sort(typed.begin(), typed.end());
  size_t count = 0;
  for (const auto& [at, r] : typed) {
    if (count < cap) kept[r] = true, ++count;
  }
  for (size_t r = 0; r < replacements.size(); ++r) {
    if (!replacements[r].typed && count < cap) kept[r] = true, ++count;
  }
  // The others undone, the last first: each puts back what it replaced.
  for (size_t r = replacements.size(); r-- > 0;) {
    if (kept[r]) {
      const Pass& pass = passes[replacements[r].pass];
      if (pictured) pictured(pass.code, pass.pack);
      continue;
    }
    size_t at = 0;
    while (bytes[at].put_by != int(r)) ++at;
    bytes.erase(bytes.begin() + at, bytes.begin() + at + passes[replacements[r].pass].markup.size());
    bytes.insert(bytes.begin() + at, replacements[r].code.begin(), replacements[r].code.end());
  }

  std::string result;
  size_t next_escape = 0;
  for (const Byte& b : bytes) {
    if (b.c == '\xFF' && b.put_by < 0) {
      result += escaped[next_escape++];
    } else {
      result += b.c;
    }
  }
  return result;
}

}  // namespace glyphwork::reference
