// Letter case ignored for every letter, as Unicode defines it, the same on
// every platform: no locale, no system library.
#pragma once

#include <string>
#include <string_view>

namespace glyphwork {

// Unicode's full case folding of UTF-8 text (the C and F mappings of
// CaseFolding.txt), so that texts that differ only in letter case fold alike:
// "ÉTÉ", "Été" and "été" all give "été", "STRASSE" and "Straße" give
// "strasse". Bytes that are not well-formed UTF-8 stay as they are. Throws
// only what allocation throws.
std::string FoldCase(std::string_view text);

}  // namespace glyphwork
