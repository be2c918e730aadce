#include "tests/reference/literal_chat.h"

namespace glyphwork::reference {

using nlohmann::json;

namespace {
const std::string kPrefix = "<img src=\"chat.image\" path=\"";
const std::string kSuffix = "\"/>";
}  // namespace

void LiteralReplaceAll(std::string& text, const std::string& code, const std::string& markup) {
  if (code.empty()) return;
  size_t position = 0;
  for (;;) {
    const size_t found = text.find(code, position);
    if (found == std::string::npos) return;
    text.replace(found, code.size(), markup);
    position = found + markup.size();
  }
}

std::string LiteralRewrite(const json& config, const json& packs, const std::string& original,
                           const InGroup& in_group) {
  std::string text = original;
  if (config.value("UsePermissions", false)) {
    bool allowed = false;
    const json groups = config.value("PermissionsGroups", json::array());
    for (const json& group : groups) {
      if (in_group(group.get<std::string>())) allowed = true;
    }
    if (!allowed) return text;
  }

  const json emoji_map = packs.value("EmojiMap", json::array());
  for (const json& pack : emoji_map) {
    const std::string emoji_path = pack.value("EmojiPath", std::string());
    const json emoji_array = pack.value("EmojiArray", json::array());
    for (const json& entry : emoji_array) {
      const std::string name = entry.get<std::string>();
      const std::string object_path = emoji_path + name + "." + name;
      LiteralReplaceAll(text, ":" + name + ":", kPrefix + object_path + kSuffix);
    }
  }

  const json remap_emoji = config.value("RemapEmoji", json::array());
  for (const json& remap : remap_emoji) {
    const std::string path = remap.value("Path", std::string());
    const std::string name = remap.value("Name", std::string());
    LiteralReplaceAll(text, ":" + name + ":", kPrefix + path + kSuffix);
  }
  return text;
}

}  // namespace glyphwork::reference
