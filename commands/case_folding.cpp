#include "commands/case_folding.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "common/utf8.h"

namespace glyphwork {

namespace {

struct FoldRun {
  char32_t first;
  uint8_t count;
  uint8_t stride;
  int32_t delta;
};
struct FoldMany {
  char32_t code;
  char16_t folded[3];
};

#include "commands/case_folding_table.inc"

void Encode(char32_t code, std::string& out) {
  if (code < 0x80) {
    out += char(code);
  } else if (code < 0x800) {
    out += char(0xC0 | (code >> 6));
    out += char(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += char(0xE0 | (code >> 12));
    out += char(0x80 | ((code >> 6) & 0x3F));
    out += char(0x80 | (code & 0x3F));
  } else {
    out += char(0xF0 | (code >> 18));
    out += char(0x80 | ((code >> 12) & 0x3F));
    out += char(0x80 | ((code >> 6) & 0x3F));
    out += char(0x80 | (code & 0x3F));
  }
}

void AppendFolded(char32_t code, std::string& out) {
  const auto many = std::lower_bound(std::begin(kFoldMany), std::end(kFoldMany), code,
                                     [](const FoldMany& entry, char32_t c) { return entry.code < c; });
  if (many != std::end(kFoldMany) && many->code == code) {
    for (const char16_t folded : many->folded) {
      if (folded != 0) Encode(folded, out);
    }
    return;
  }
  // Runs never overlap: the last one that starts at or before `code` is the
  // only one that may hold it.
  auto run = std::upper_bound(std::begin(kFoldRuns), std::end(kFoldRuns), code,
                              [](char32_t c, const FoldRun& entry) { return c < entry.first; });
  if (run != std::begin(kFoldRuns)) {
    --run;
    const char32_t offset = code - run->first;
    if (offset % run->stride == 0 && offset / run->stride < run->count) code = char32_t(int32_t(code) + run->delta);
  }
  Encode(code, out);
}

}  // namespace

std::string FoldCase(std::string_view text) {
  std::string folded;
  folded.reserve(text.size());
  while (!text.empty()) {
    char32_t code;
    size_t length = DecodeUtf8(text, code);
    if (length == 0) {
      folded += text[0];
      length = 1;
    } else if (code < 0x80) {
      folded += char(code >= 'A' && code <= 'Z' ? code + ('a' - 'A') : code);
    } else {
      AppendFolded(code, folded);
    }
    text.remove_prefix(length);
  }
  return folded;
}

}  // namespace glyphwork
