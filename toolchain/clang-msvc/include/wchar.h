// The wide-character header of the universal CRT, in place of Wine's, whose
// mbstate_t is an int: here it is the CRT's 8-byte _Mbstatet. The rest comes
// from Wine's corecrt_w*.h headers; the few functions below are inline in the
// CRT's own header too.
#pragma once
#define __WINE_WCHAR_H

#include <corecrt.h>
#include <corecrt_wctype.h>
#include <corecrt_wdirect.h>
#include <corecrt_wio.h>
#include <corecrt_wprocess.h>
#include <corecrt_wstdio.h>
#include <corecrt_wstdlib.h>
#include <corecrt_wstring.h>
#include <corecrt_wtime.h>
#include <sys/stat.h>
#include <string.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifndef WCHAR_MIN
#define WCHAR_MIN 0x0000
#define WCHAR_MAX 0xffff
#endif

typedef _Mbstatet mbstate_t;

#ifndef _WLOCALE_DEFINED
#define _WLOCALE_DEFINED
_ACRTIMP wchar_t* __cdecl _wsetlocale(int, const wchar_t*);
#endif

_ACRTIMP wint_t __cdecl btowc(int);
_ACRTIMP size_t __cdecl mbrlen(const char*, size_t, mbstate_t*);
_ACRTIMP size_t __cdecl mbrtowc(wchar_t*, const char*, size_t, mbstate_t*);
_ACRTIMP errno_t __cdecl mbsrtowcs_s(size_t*, wchar_t*, size_t, const char**, size_t, mbstate_t*);
_ACRTIMP size_t __cdecl mbsrtowcs(wchar_t*, const char**, size_t, mbstate_t*);
_ACRTIMP errno_t __cdecl wcrtomb_s(size_t*, char*, size_t, wchar_t, mbstate_t*);
_ACRTIMP size_t __cdecl wcrtomb(char*, wchar_t, mbstate_t*);
_ACRTIMP errno_t __cdecl wcsrtombs_s(size_t*, char*, size_t, const wchar_t**, size_t, mbstate_t*);
_ACRTIMP size_t __cdecl wcsrtombs(char*, const wchar_t**, size_t, mbstate_t*);
_ACRTIMP int __cdecl wctob(wint_t);
_ACRTIMP long double __cdecl wcstold(const wchar_t*, wchar_t**);
_ACRTIMP errno_t __cdecl wmemcpy_s(wchar_t*, size_t, const wchar_t*, size_t);
_ACRTIMP errno_t __cdecl wmemmove_s(wchar_t*, size_t, const wchar_t*, size_t);

static __inline int __cdecl fwide(FILE* _F, int _M) {
  (void)_F;
  return _M;
}

static __inline int __cdecl mbsinit(const mbstate_t* _P) { return _P == NULL || _P->_Wchar == 0; }

static __inline const wchar_t* __cdecl wmemchr(const wchar_t* _S, wchar_t _C, size_t _N) {
  for (; 0 < _N; ++_S, --_N)
    if (*_S == _C) return _S;
  return NULL;
}

static __inline int __cdecl wmemcmp(const wchar_t* _S1, const wchar_t* _S2, size_t _N) {
  for (; 0 < _N; ++_S1, ++_S2, --_N)
    if (*_S1 != *_S2) return *_S1 < *_S2 ? -1 : 1;
  return 0;
}

static __inline wchar_t* __cdecl wmemcpy(wchar_t* _S1, const wchar_t* _S2, size_t _N) {
  return (wchar_t*)memcpy(_S1, _S2, _N * sizeof(wchar_t));
}

static __inline wchar_t* __cdecl wmemmove(wchar_t* _S1, const wchar_t* _S2, size_t _N) {
  return (wchar_t*)memmove(_S1, _S2, _N * sizeof(wchar_t));
}

static __inline wchar_t* __cdecl wmemset(wchar_t* _S, wchar_t _C, size_t _N) {
  wchar_t* _Su = _S;
  for (; 0 < _N; ++_Su, --_N) *_Su = _C;
  return _S;
}

#ifdef __cplusplus
}

extern "C++" inline wchar_t* __cdecl wmemchr(wchar_t* _S, wchar_t _C, size_t _N) {
  return const_cast<wchar_t*>(wmemchr(static_cast<const wchar_t*>(_S), _C, _N));
}
#endif
