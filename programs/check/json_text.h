// Where things stand in the text of a JSON file, which the parsed document no
// longer knows: the line and column of every value by its key's path, keys
// written twice in one object, text after the first value, and a trailing
// comma where the parse stopped. Lines and columns count as the JSON library
// counts them in its errors: from 1, in bytes, a leading byte-order mark
// included.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace glyphwork::check {

struct TextPosition {
  int line = 0;
  int column = 0;
};

struct DuplicateKey {
  std::string path;  // the key's path, e.g. "EmojiArray" or "RemapEmoji[0].Name"
  TextPosition first;
  TextPosition later;  // the one whose value counts
};

struct JsonLayout {
  // Where each value starts, by its key's path ("" is the top level; list
  // elements "Key[2]", members of objects "Key.member"). Under a key written
  // twice, the later value.
  std::map<std::string, TextPosition> values;
  std::vector<DuplicateKey> duplicates;
  // The first character other than blanks after the first value.
  std::optional<TextPosition> trailing_text;
};

// The layout of text whose first value parses as JSON. Text it cannot follow
// ends the mapping there; it never throws.
JsonLayout MapJsonText(std::string_view text);

// When the parse error at `error_byte` (the JSON library's 1-based count of
// bytes read) is a "}" or "]" right after a comma, the comma's position.
std::optional<TextPosition> TrailingCommaBefore(std::string_view text, std::size_t error_byte);

}  // namespace glyphwork::check
