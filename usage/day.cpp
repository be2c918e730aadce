#include "usage/day.h"

#include <chrono>
#include <cstdio>

#include "platform/platform.h"

namespace glyphwork::usage {

namespace chrono = std::chrono;

int64_t Today() { return DayOf(platform::UtcSecondsNow()); }

std::string DayText(int64_t day) {
  const chrono::year_month_day date{chrono::sys_days{chrono::days{day}}};
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u", int(date.year()), unsigned(date.month()), unsigned(date.day()));
  return text;
}

std::optional<int64_t> DayFromText(std::string_view text) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
  int fields[3] = {0, 0, 0};
  const size_t starts[3] = {0, 5, 8}, lengths[3] = {4, 2, 2};
  for (int f = 0; f < 3; ++f) {
    for (size_t i = starts[f]; i < starts[f] + lengths[f]; ++i) {
      if (text[i] < '0' || text[i] > '9') return std::nullopt;
      fields[f] = fields[f] * 10 + (text[i] - '0');
    }
  }
  const chrono::year_month_day date{chrono::year{fields[0]}, chrono::month{unsigned(fields[1])},
                                    chrono::day{unsigned(fields[2])}};
  if (!date.ok()) return std::nullopt;
  return chrono::sys_days{date}.time_since_epoch().count();
}

}  // namespace glyphwork::usage
