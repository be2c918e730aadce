// UTF-8 <-> the platform's wide text. Ill-formed input of either kind becomes
// U+FFFD, one per maximal ill-formed subpart; nothing is read past the end.
// Both run for every chat delivery: output is written into a buffer sized for
// the worst case, and runs of ASCII are copied without decoding.
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <string>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#include <API/ARK/Ark.h>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

char* PutUtf8(char* out, char32_t code_point) {
  if (code_point < 0x80) {
    *out++ = char(code_point);
  } else if (code_point < 0x800) {
    *out++ = char(0xC0 | (code_point >> 6));
    *out++ = char(0x80 | (code_point & 0x3F));
  } else if (code_point < 0x10000) {
    *out++ = char(0xE0 | (code_point >> 12));
    *out++ = char(0x80 | ((code_point >> 6) & 0x3F));
    *out++ = char(0x80 | (code_point & 0x3F));
  } else {
    *out++ = char(0xF0 | (code_point >> 18));
    *out++ = char(0x80 | ((code_point >> 12) & 0x3F));
    *out++ = char(0x80 | ((code_point >> 6) & 0x3F));
    *out++ = char(0x80 | (code_point & 0x3F));
  }
  return out;
}

wchar_t* PutWide(wchar_t* out, char32_t code_point) {
  if constexpr (sizeof(wchar_t) == 2) {
    if (code_point >= 0x10000) {
      code_point -= 0x10000;
      *out++ = wchar_t(0xD800 + (code_point >> 10));
      *out++ = wchar_t(0xDC00 + (code_point & 0x3FF));
      return out;
    }
  }
  *out++ = wchar_t(code_point);
  return out;
}

// The code point of the UTF-8 sequence at `bytes`, or kReplacement for its
// maximal ill-formed subpart; `length` gets the bytes taken.
char32_t DecodeOne(const unsigned char* bytes, size_t size, size_t* length) {
  const unsigned char lead = bytes[0];
  size_t needed = 0;
  char32_t code_point = 0;
  unsigned char low = 0x80, high = 0xBF;  // range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    needed = 2, code_point = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    needed = 3, code_point = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    needed = 4, code_point = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    *length = 1;
    return kReplacement;
  }
  size_t taken = 1;
  for (; taken < needed; ++taken) {
    if (taken >= size) break;
    const unsigned char next = bytes[taken];
    if (next < (taken == 1 ? low : 0x80) || next > (taken == 1 ? high : 0xBF)) break;
    code_point = (code_point << 6) | (next & 0x3F);
  }
  *length = taken;
  return taken == needed ? code_point : kReplacement;
}

}  // namespace

namespace AsaApi::Tools {

std::string Utf8Encode(const std::wstring& text) {
  const size_t size = text.size();
  // A UTF-16 unit makes at most 3 bytes (a pair 4 from 2), a code point 4.
  std::string out(size * (sizeof(wchar_t) == 2 ? 3 : 4), '\0');
  char* put = out.data();
  for (size_t i = 0; i < size;) {
    // Eight units at a time while they are all ASCII.
    while (i + 8 <= size) {
      char32_t any = 0;
      for (size_t k = 0; k < 8; ++k) any |= char32_t(text[i + k]);
      if (any >= 0x80) break;
      for (size_t k = 0; k < 8; ++k) put[k] = char(text[i + k]);
      put += 8;
      i += 8;
    }
    while (i < size && char32_t(text[i]) < 0x80) *put++ = char(text[i++]);
    if (i == size) break;
    char32_t unit = char32_t(text[i]);
    if constexpr (sizeof(wchar_t) == 2) {
      unit &= 0xFFFF;
      if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < size) {
        const char32_t low = char32_t(text[i + 1]) & 0xFFFF;
        if (low >= 0xDC00 && low < 0xE000) {
          put = PutUtf8(put, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
          i += 2;
          continue;
        }
      }
    }
    if ((unit >= 0xD800 && unit < 0xE000) || unit > 0x10FFFF) unit = kReplacement;
    put = PutUtf8(put, unit);
    ++i;
  }
  out.resize(size_t(put - out.data()));
  return out;
}

std::wstring Utf8Decode(const std::string& text) {
  const size_t size = text.size();
  // Every byte makes at most one unit; four bytes make at most two.
  std::wstring out(size, L'\0');
  wchar_t* put = out.data();
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  for (size_t i = 0; i < size;) {
    // Eight bytes at a time while they are all ASCII.
    while (i + 8 <= size) {
      uint64_t block;
      std::memcpy(&block, bytes + i, 8);
      if (block & 0x8080808080808080ULL) break;
      for (size_t k = 0; k < 8; ++k) put[k] = wchar_t(bytes[i + k]);
      put += 8;
      i += 8;
    }
    while (i < size && bytes[i] < 0x80) *put++ = wchar_t(bytes[i++]);
    if (i == size) break;
    size_t length = 0;
    put = PutWide(put, DecodeOne(bytes + i, size - i, &length));
    i += length;
  }
  out.resize(size_t(put - out.data()));
  return out;
}

}  // namespace AsaApi::Tools

FString::FString(const wchar_t* text) {
  if (text == nullptr) return;
  const size_t length = std::wcslen(text);
  if (length == 0) return;
  // Code points past U+FFFF take two units (UTF-32 platforms), past U+10FFFF
  // become U+FFFD. Every one below U+10000, the common case, is a plain
  // copy, which also tells, without a branch, whether that was all.
  {
    const int32 first = Data.AddUninitialized(int32(length + 1));
    TCHAR* put = Data.GetData() + first;
    uint32_t any = 0;
    for (size_t i = 0; i < length; ++i) {
      any |= uint32_t(text[i]);
      put[i] = TCHAR(text[i]);
    }
    put[length] = 0;
    if (sizeof(wchar_t) == 2 || any < 0x10000u) return;
  }
  size_t pairs = 0;
  for (size_t i = 0; i < length; ++i) pairs += uint32_t(text[i]) - 0x10000u <= 0xFFFFFu;
  Data = TArray<TCHAR>();
  const int32 first = Data.AddUninitialized(int32(length + pairs + 1));
  TCHAR* put = Data.GetData() + first;
  for (size_t i = 0; i < length; ++i) {
    char32_t code_point = char32_t(text[i]);
    if (code_point > 0x10FFFF) code_point = kReplacement;
    if (code_point >= 0x10000) {
      code_point -= 0x10000;
      *put++ = TCHAR(0xD800 + (code_point >> 10));
      *put++ = TCHAR(0xDC00 + (code_point & 0x3FF));
    } else {
      *put++ = TCHAR(code_point);
    }
  }
  *put = 0;
}

#ifndef _WIN32
namespace {

// The length of NUL-terminated units, sixteen at a time once aligned, as
// wcslen does it: an aligned 32-byte block never crosses into another page,
// so reading past the terminator within one is harmless (AddressSanitizer is
// told so).
__attribute__((no_sanitize("address"))) size_t UnitsLength(const TCHAR* text) {
  const TCHAR* at = text;
  for (; reinterpret_cast<uintptr_t>(at) % 32 != 0; ++at) {
    if (*at == 0) return size_t(at - text);
  }
#ifdef __SSE2__
  const __m128i zero = _mm_setzero_si128();
  for (;; at += 16) {
    const __m128i low = _mm_cmpeq_epi16(_mm_load_si128(reinterpret_cast<const __m128i*>(at)), zero);
    const __m128i high = _mm_cmpeq_epi16(_mm_load_si128(reinterpret_cast<const __m128i*>(at + 8)), zero);
    if (_mm_movemask_epi8(_mm_or_si128(low, high)) != 0) break;
  }
#endif
  while (*at != 0) ++at;
  return size_t(at - text);
}

}  // namespace

FString::FString(const TCHAR* text) {
  if (text == nullptr || *text == 0) return;
  const size_t length = UnitsLength(text);
  const int32 first = Data.AddUninitialized(int32(length + 1));
  std::memcpy(Data.GetData() + first, text, (length + 1) * sizeof(TCHAR));
}
#endif

// As the game's FString.FString(char*): one unit per byte, nothing decoded.
FString::FString(const char* text) {
  if (text == nullptr || *text == 0) return;
  const size_t length = std::strlen(text);
  const int32 first = Data.AddUninitialized(int32(length + 1));
  TCHAR* put = Data.GetData() + first;
  for (size_t i = 0; i < length; ++i) put[i] = TCHAR(static_cast<unsigned char>(text[i]));
  put[length] = 0;
}
