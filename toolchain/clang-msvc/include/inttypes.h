// Wine's inttypes.h, completed with the greatest-width functions that
// ucrtbase.dll exports and Wine's header does not declare.
#pragma once
#include_next <inttypes.h>
#include <wchar.h>

#ifdef __cplusplus
extern "C" {
#endif

_ACRTIMP intmax_t __cdecl imaxabs(intmax_t);
_ACRTIMP imaxdiv_t __cdecl imaxdiv(intmax_t, intmax_t);
_ACRTIMP intmax_t __cdecl wcstoimax(const wchar_t*, wchar_t**, int);
_ACRTIMP uintmax_t __cdecl wcstoumax(const wchar_t*, wchar_t**, int);

#ifdef __cplusplus
}
#endif
