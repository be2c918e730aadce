// Wine's stdlib.h, as the universal CRT's stdlib.h has it: atexit, _onexit
// and at_quick_exit linked statically into each module (crt/), the C++
// overloads of abs and div, and what the C++ library takes from here.
#pragma once
// Under the universal CRT atexit and _onexit are not the DLL's: each module
// links its own (crt/startup.cpp), so that a DLL's functions run when it is
// unloaded. Wine's header imports them; that declaration is set aside.
#define atexit __wine_imported_atexit
#define _onexit __wine_imported_onexit
#include_next <stdlib.h>
#undef atexit
#undef _onexit

#ifdef __cplusplus
extern "C" {
#endif

int __cdecl atexit(void(__cdecl*)(void));
_onexit_t __cdecl _onexit(_onexit_t);
int __cdecl at_quick_exit(void(__cdecl*)(void));
_ACRTIMP __declspec(noreturn) void __cdecl quick_exit(int);
_ACRTIMP __declspec(noreturn) void __cdecl _invalid_parameter_noinfo_noreturn(void);
_ACRTIMP unsigned int __cdecl _set_abort_behavior(unsigned int _Flags, unsigned int _Mask);
_ACRTIMP errno_t __cdecl _dupenv_s(char** _Buffer, size_t* _BufferCount, const char* _VarName);
_ACRTIMP errno_t __cdecl _wdupenv_s(wchar_t** _Buffer, size_t* _BufferCount, const wchar_t* _VarName);

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
// The C++ overloads the universal CRT's stdlib.h declares.
extern "C++" {
inline long __cdecl abs(long const _X) noexcept { return labs(_X); }
inline long long __cdecl abs(long long const _X) noexcept { return llabs(_X); }
inline ldiv_t __cdecl div(long const _A1, long const _A2) noexcept { return ldiv(_A1, _A2); }
inline lldiv_t __cdecl div(long long const _A1, long long const _A2) noexcept { return lldiv(_A1, _A2); }
}
#endif

#ifndef _CRT_SECURE_INVALID_PARAMETER
#define _CRT_SECURE_INVALID_PARAMETER(expr) ::_invalid_parameter_noinfo_noreturn()
#endif
#include <errno.h>
#include <math.h>
