// The C11 character conversions, as the universal CRT declares them (Wine's
// header declares char16_t and char32_t, which are C++ keywords).
#pragma once
#include <wchar.h>

#ifdef __cplusplus
extern "C" {
#else
typedef unsigned short char16_t;
typedef unsigned int char32_t;
#endif

_ACRTIMP size_t __cdecl mbrtoc16(char16_t*, const char*, size_t, mbstate_t*);
_ACRTIMP size_t __cdecl c16rtomb(char*, char16_t, mbstate_t*);
_ACRTIMP size_t __cdecl mbrtoc32(char32_t*, const char*, size_t, mbstate_t*);
_ACRTIMP size_t __cdecl c32rtomb(char*, char32_t, mbstate_t*);

#ifdef __cplusplus
}
#endif
