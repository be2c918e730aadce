// What the plugin says about a JSON file that does not parse: the library's
// error, with the place of a trailing comma at the comma itself, where
// glyphwork-check puts it too, so that the host log and the checker name one
// line and column for one mistake.
#pragma once

#include <cstddef>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace glyphwork {

// Lines and columns as the JSON library counts them in its errors: from 1,
// in bytes of the text it read, a leading byte-order mark included.
struct TextPosition {
  int line = 0;
  int column = 0;
};

// The text of a JSON library error raised while ParseJsonFile read `path`:
// the library's own, except for a trailing comma, which is named as such at
// the comma's line and column. Reads the file again as the parse read it, on
// this failure path only; never throws.
std::string JsonErrorText(const std::filesystem::path& path, const nlohmann::json::exception& error);
// The same for the text that was read, as ReadJsonText gives it.
std::string JsonErrorTextIn(std::string_view text, const nlohmann::json::exception& error);

// The file's text as ParseJsonFile reads it (a text stream); empty when it
// cannot be read.
std::string ReadJsonText(const std::filesystem::path& path);

}  // namespace glyphwork
