// Days as usage counts them: UTC calendar days, numbered from 1970-01-01 and
// written "YYYY-MM-DD", which sorts as the days do.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace glyphwork::usage {

inline constexpr int64_t kSecondsPerDay = 86400;

// Today, by the platform's clock. Any thread.
int64_t Today();
// The day that `seconds` since 1970-01-01 00:00 UTC fall on.
inline int64_t DayOf(int64_t seconds) {
  return seconds >= 0 ? seconds / kSecondsPerDay : -((-seconds + kSecondsPerDay - 1) / kSecondsPerDay);
}

std::string DayText(int64_t day);
// Null for anything but a valid "YYYY-MM-DD".
std::optional<int64_t> DayFromText(std::string_view text);

}  // namespace glyphwork::usage
