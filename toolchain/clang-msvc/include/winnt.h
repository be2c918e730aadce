// Wine's winnt.h as a Windows program sees it: WCHAR is wchar_t (16 bits
// here), and Wine's own definition of InterlockedCompareExchange128 (for
// compilers without the intrinsic) gets a name of its own, so that Clang's
// intrinsic _InterlockedCompareExchange128 stays what the C++ library uses.
#pragma once
#ifndef WINE_UNICODE_NATIVE
#define WINE_UNICODE_NATIVE
#endif
#define _InterlockedCompareExchange128 __wine_InterlockedCompareExchange128
#include_next <winnt.h>
#undef _InterlockedCompareExchange128
#undef InterlockedCompareExchange128
#define InterlockedCompareExchange128 _InterlockedCompareExchange128
