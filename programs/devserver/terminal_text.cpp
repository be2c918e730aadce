#include "programs/devserver/terminal_text.h"

#include <cstdio>

namespace devserver {

namespace {

// The length of the well-formed UTF-8 sequence at the start of `text` and its
// code point, or 0 when the first byte starts none: the shortest form only,
// no surrogates, nothing past U+10FFFF.
std::size_t DecodeOne(std::string_view text, char32_t* code_point) {
  const auto lead = static_cast<unsigned char>(text[0]);
  std::size_t length = 1;
  if (lead > 0xF4) {
    return 0;
  } else if (lead >= 0xF0) {
    length = 4;
  } else if (lead >= 0xE0) {
    length = 3;
  } else if (lead >= 0xC0) {
    length = 2;
  } else if (lead >= 0x80) {
    return 0;  // a continuation byte without its lead
  }
  if (text.size() < length) return 0;
  char32_t value = length == 1 ? lead : lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[i]);
    if ((next & 0xC0) != 0x80) return 0;
    value = (value << 6) | (next & 0x3F);
  }
  constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < kLeast[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  *code_point = value;
  return length;
}

void AppendEscape(std::string& out, const char* format, unsigned value) {
  char escape[8];
  std::snprintf(escape, sizeof escape, format, value);
  out += escape;
}

}  // namespace

std::string Visible(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    char32_t c = 0;
    const std::size_t length = DecodeOne(text, &c);
    if (length == 0) {
      AppendEscape(out, "\\x%02x", static_cast<unsigned char>(text[0]));
      text.remove_prefix(1);
      continue;
    }
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7F) {
      AppendEscape(out, "\\x%02x", static_cast<unsigned>(c));
    } else if (c >= 0x80 && c <= 0x9F) {
      AppendEscape(out, "\\u%04x", static_cast<unsigned>(c));
    } else {
      out.append(text.substr(0, length));
    }
    text.remove_prefix(length);
  }
  return out;
}

}  // namespace devserver
