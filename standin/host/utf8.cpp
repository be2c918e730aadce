// UTF-8 <-> the platform's wide text. Ill-formed input of either kind becomes
// U+FFFD, one per maximal ill-formed subpart; nothing is read past the end.
#include <string>

#include "plugin/api/asa_api.h"

namespace {

void AppendUtf8(std::string& out, char32_t code_point) {
  if (code_point < 0x80) {
    out.push_back(char(code_point));
  } else if (code_point < 0x800) {
    out.push_back(char(0xC0 | (code_point >> 6)));
    out.push_back(char(0x80 | (code_point & 0x3F)));
  } else if (code_point < 0x10000) {
    out.push_back(char(0xE0 | (code_point >> 12)));
    out.push_back(char(0x80 | ((code_point >> 6) & 0x3F)));
    out.push_back(char(0x80 | (code_point & 0x3F)));
  } else {
    out.push_back(char(0xF0 | (code_point >> 18)));
    out.push_back(char(0x80 | ((code_point >> 12) & 0x3F)));
    out.push_back(char(0x80 | ((code_point >> 6) & 0x3F)));
    out.push_back(char(0x80 | (code_point & 0x3F)));
  }
}

void AppendWide(std::wstring& out, char32_t code_point) {
  if constexpr (sizeof(wchar_t) == 2) {
    if (code_point >= 0x10000) {
      code_point -= 0x10000;
      out.push_back(wchar_t(0xD800 + (code_point >> 10)));
      out.push_back(wchar_t(0xDC00 + (code_point & 0x3FF)));
      return;
    }
  }
  out.push_back(wchar_t(code_point));
}

constexpr char32_t kReplacement = 0xFFFD;

}  // namespace

namespace AsaApi::Tools {

std::string Utf8Encode(const std::wstring& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t unit = char32_t(text[i]);
    if constexpr (sizeof(wchar_t) == 2) {
      unit &= 0xFFFF;
      if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < text.size()) {
        const char32_t low = char32_t(text[i + 1]) & 0xFFFF;
        if (low >= 0xDC00 && low < 0xE000) {
          AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
          ++i;
          continue;
        }
      }
    }
    if ((unit >= 0xD800 && unit < 0xE000) || unit > 0x10FFFF) unit = kReplacement;
    AppendUtf8(out, unit);
  }
  return out;
}

std::wstring Utf8Decode(const std::string& text) {
  std::wstring out;
  out.reserve(text.size());
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const size_t size = text.size();
  size_t i = 0;
  while (i < size) {
    const unsigned char lead = bytes[i];
    if (lead < 0x80) {
      out.push_back(wchar_t(lead));
      ++i;
      continue;
    }
    size_t length = 0;
    char32_t code_point = 0;
    unsigned char low = 0x80, high = 0xBF;  // range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2, code_point = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3, code_point = lead & 0x0F;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4, code_point = lead & 0x07;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      AppendWide(out, kReplacement);
      ++i;
      continue;
    }
    size_t taken = 1;
    bool ok = true;
    for (; taken < length; ++taken) {
      if (i + taken >= size) {
        ok = false;
        break;
      }
      const unsigned char next = bytes[i + taken];
      const unsigned char min = taken == 1 ? low : 0x80;
      const unsigned char max = taken == 1 ? high : 0xBF;
      if (next < min || next > max) {
        ok = false;
        break;
      }
      code_point = (code_point << 6) | (next & 0x3F);
    }
    AppendWide(out, ok ? code_point : kReplacement);
    i += taken;
  }
  return out;
}

}  // namespace AsaApi::Tools

namespace {

std::u16string ToUnits(const std::wstring& wide) {
  std::u16string units;
  units.reserve(wide.size());
  for (wchar_t c : wide) {
    char32_t code_point = char32_t(c);
    if constexpr (sizeof(wchar_t) == 4) {
      if (code_point > 0x10FFFF) code_point = kReplacement;
      if (code_point >= 0x10000) {
        code_point -= 0x10000;
        units.push_back(char16_t(0xD800 + (code_point >> 10)));
        units.push_back(char16_t(0xDC00 + (code_point & 0x3FF)));
        continue;
      }
    }
    units.push_back(char16_t(code_point));
  }
  return units;
}

}  // namespace

FString::FString(const wchar_t* text) {
  if (text == nullptr) return;
  const std::u16string units = ToUnits(text);
  *this = FromUnits(units.data(), int32_t(units.size()));
}

FString::FString(const char* text) {
  if (text == nullptr) return;
  *this = FString(AsaApi::Tools::Utf8Decode(text).c_str());
}
