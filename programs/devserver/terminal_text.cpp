#include "programs/devserver/terminal_text.h"

#include <cstdio>

#include "common/utf8.h"

namespace devserver {

namespace {

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
    const std::size_t length = glyphwork::DecodeUtf8(text, c);
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
