// Where things stand in the text of a JSON file, which the parsed document no
// longer knows: the line and column of every value by its key's path, keys
// written twice in one object, and text after the first value. Lines and
// columns count as the JSON library counts them in its errors
// (config/json_errors.h).
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/json_errors.h"

namespace glyphwork::check {

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

}  // namespace glyphwork::check
