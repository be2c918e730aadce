// <regex> for the programs and tests that match text with it. GCC 12 at -O1,
// the sanitizer build's level, warns -Wmaybe-uninitialized inside
// libstdc++'s own regex automaton for every pattern compiled: a false
// positive in the library's code, silenced for its headers alone.
#pragma once

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <regex>
#pragma GCC diagnostic pop
#else
#include <regex>
#endif
