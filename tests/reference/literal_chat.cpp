#include "tests/reference/literal_chat.h"

#include <cctype>
#include <map>
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
                                       const InGroup& in_group) {
  std::map<std::string, bool> asked;
  const auto in = [&](const std::string& group) {
    const auto it = asked.find(group);
    return it != asked.end() ? it->second : (asked[group] = in_group(group));
  };

  std::string text;
  for (size_t i = 0; i < original.size(); ++i) {
    const bool tag = original[i] == '<' && i + 1 < original.size() &&
                     (original[i + 1] == '/' || std::isalpha(static_cast<unsigned char>(original[i + 1])));
    text += tag && config.value("BlockTypedMarkup", false) ? std::string("\xE2\x80\xB9") : original.substr(i, 1);
  }

  bool allowed = true;
  if (config.value("UsePermissions", false)) {
    allowed = false;
    for (const json& group : config.value("PermissionsGroups", json::array())) {
      if (in(group.get<std::string>())) allowed = true;
    }
  }
  struct Pass {
    std::string code;
    std::string markup;
    bool open;
  };
  std::vector<Pass> passes;
  for (const json& pack : packs.value("EmojiMap", json::array())) {
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
      passes.push_back({":" + name + ":", kPrefix + prefix + name + "." + name + kSuffix, open});
    }
  }
  for (const json& remap : config.value("RemapEmoji", json::array())) {
    passes.push_back(
        {":" + remap.value("Name", std::string()) + ":", kPrefix + remap.value("Path", std::string()) + kSuffix, true});
  }

  // Escaped codes leave a byte no text or code holds, and come back last.
  std::vector<std::string> escaped;
  if (config.value("AllowEscape", false)) {
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

  // Each replaced code becomes a numbered stand-in no code can match; the
  // first ones from the left become markup.
  if (allowed) {
    for (size_t p = 0; p < passes.size(); ++p) {
      if (passes[p].open) LiteralReplaceAll(text, passes[p].code, "\xFE" + std::to_string(p) + "\xFE");
    }
  }
  const size_t cap = config.contains("MaxEmojiPerMessage") ? config["MaxEmojiPerMessage"].get<size_t>() : SIZE_MAX;
  std::string result;
  size_t pictures = 0, next_escape = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\xFF') {
      result += escaped[next_escape++];
    } else if (text[i] == '\xFE') {
      const size_t end = text.find('\xFE', i + 1);
      const Pass& pass = passes[std::stoul(text.substr(i + 1, end - i - 1))];
      result += pictures++ < cap ? pass.markup : pass.code;
      i = end;
    } else {
      result += text[i];
    }
  }
  return result;
}

}  // namespace glyphwork::reference
