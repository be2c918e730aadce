// glyphwork-check --usage --html: the usage report as one HTML page that
// needs nothing but itself (no network, no scripts, no fonts), to open from
// a file or attach to a mail, with each code's messages per day drawn.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "usage/counts.h"
#include "usage/store.h"

namespace glyphwork::check {

struct UsagePage {
  std::string heading;   // "Emoji usage, last 30 days"
  std::string database;  // as the text report names it
  int64_t first_day = 0;
  int64_t last_day = 0;  // today
  // A cluster's database: a table per server before the one of them all.
  bool cluster = false;
  std::vector<usage::Row> rows;  // per server, from first_day on
  std::vector<usage::Key> never_used;
  size_t configured = 0;
  // Said above the tables, as they stand (e.g. nothing counted yet).
  std::vector<std::string> notes;
  // Why no codes are listed as never used; empty when they are.
  std::string never_note;
};

// The whole page, valid UTF-8 whatever bytes the names hold.
std::string UsagePageHtml(const UsagePage& page);

// `text` as HTML text or attribute value: markup characters escaped, and
// what is not UTF-8, or a control character, as U+FFFD.
std::string HtmlText(std::string_view text);

}  // namespace glyphwork::check
