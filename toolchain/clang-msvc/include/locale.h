// Wine's locale.h, completed with the code page query the universal CRT
// exports and declares there.
#pragma once
#include_next <locale.h>

#ifdef __cplusplus
extern "C" {
#endif
_ACRTIMP unsigned int __cdecl ___lc_codepage_func(void);
#ifdef __cplusplus
}
#endif
