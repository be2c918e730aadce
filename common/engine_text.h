// The engine's strings and the UTF-8 text everything else handles. The
// host's FString(const char*) widens each byte to one unit, so UTF-8 text
// goes in through the wide constructor and comes out through Utf8Encode.
#pragma once

#include <API/ARK/Ark.h>

#include <string>
#include <type_traits>

namespace glyphwork {

// UTF-16 units as the platform's wide text: the units themselves where
// wchar_t is the unit (Windows), else code points with each surrogate pair
// joined and a lone surrogate kept as its own value.
template <typename Unit>
std::wstring WideFromUnits(const Unit* units, size_t length) {
  if constexpr (std::is_same_v<Unit, wchar_t>) {
    return std::wstring(units, length);
  } else {
    std::wstring wide;
    wide.reserve(length);
    for (size_t i = 0; i < length; ++i) {
      const char32_t unit = units[i];
      if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < length && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000) {
        wide.push_back(wchar_t(0x10000 + ((unit - 0xD800) << 10) + (units[i + 1] - 0xDC00)));
        ++i;
      } else {
        wide.push_back(wchar_t(unit));
      }
    }
    return wide;
  }
}

inline std::wstring WideFromFString(const FString& text) { return WideFromUnits(*text, size_t(text.Len())); }

inline std::string Utf8FromFString(const FString& text) { return AsaApi::Tools::Utf8Encode(WideFromFString(text)); }

// Up to the first NUL, as every C text.
inline FString FStringFromUtf8(const std::string& text) { return FString(AsaApi::Tools::Utf8Decode(text).c_str()); }

}  // namespace glyphwork
