// Text that came from a client or a player, made safe to print on the
// operator's terminal. Pure functions; any thread.
#pragma once

#include <string>
#include <string_view>

namespace devserver {

// `text` as one line that shows on a terminal as it is, with nothing for the
// terminal to act on: line feed, carriage return and tab become \n, \r and
// \t; the other C0 controls and DEL become \xHH, the C1 controls \u0080 to
// \u009f, and every byte that is not part of well-formed UTF-8 \xHH. All else
// (a backslash too) stays as it is.
std::string Visible(std::string_view text);

}  // namespace devserver
