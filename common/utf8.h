// Strict UTF-8 decoding of one sequence, for code that tells text which is
// not UTF-8 from text which is (the list's case folding, the dev server's
// printing).
#pragma once

#include <cstddef>
#include <string_view>

namespace glyphwork {

// The length of the well-formed UTF-8 sequence at the start of `text`, with
// its code point in `code`; 0 when it is not one (overlong, a surrogate, past
// U+10FFFF, cut short, a continuation byte without its lead). REQUIRES:
// `text` is not empty.
inline size_t DecodeUtf8(std::string_view text, char32_t& code) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned lead = byte(0);
  size_t length;
  char32_t least;
  if (lead < 0x80) {
    code = lead;
    return 1;
  } else if (lead >= 0xC2 && lead < 0xE0) {
    length = 2, code = lead & 0x1F, least = 0x80;
  } else if (lead >= 0xE0 && lead < 0xF0) {
    length = 3, code = lead & 0x0F, least = 0x800;
  } else if (lead >= 0xF0 && lead < 0xF5) {
    length = 4, code = lead & 0x07, least = 0x10000;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(i) & 0x3F);
  }
  if (code < least || code > 0x10FFFF || (code >= 0xD800 && code < 0xE000)) return 0;
  return length;
}

}  // namespace glyphwork
