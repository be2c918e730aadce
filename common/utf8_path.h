// File names as the plugin's text: UTF-8 on every platform. Every name the
// plugin, the stand-ins and the tools hand to a file function becomes a path
// here, and every name they show comes back from one here. On Windows a path
// made from a plain std::string decodes it as the C library's narrow text,
// not as UTF-8: a name beyond ASCII then names another file or none.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace glyphwork {

// The file that UTF-8 `text` names. Linux: its bytes as they are, whatever
// they are. Windows: its UTF-16 name; throws std::filesystem::filesystem_error
// for text that is not UTF-8.
inline std::filesystem::path PathFromUtf8(std::string_view text) {
  return std::filesystem::path(std::u8string_view(reinterpret_cast<const char8_t*>(text.data()), text.size()));
}

// The path as UTF-8 text, for messages and for sorting names. Linux: its bytes
// as they are. Windows: its UTF-16 name encoded; throws
// std::filesystem::filesystem_error for a name that is not UTF-16 (a lone
// surrogate).
inline std::string Utf8FromPath(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace glyphwork
