// The compiler runtime's base header (vcruntime140.dll's), as the C++
// library of the MSVC toolset includes it: calling conventions, import
// markings, the C header brackets and the runtime's own types. The universal
// CRT's declarations come from Wine's headers.
#pragma once
#define _VCRUNTIME_H

#include <sal.h>
#include <vadefs.h>

#ifndef _CRT_PACKING
#define _CRT_PACKING 8
#endif

#ifdef __cplusplus
#define _CRT_BEGIN_C_HEADER __pragma(pack(push, _CRT_PACKING)) extern "C" {
#define _CRT_END_C_HEADER } __pragma(pack(pop))
#else
#define _CRT_BEGIN_C_HEADER __pragma(pack(push, _CRT_PACKING))
#define _CRT_END_C_HEADER __pragma(pack(pop))
#endif

// /MD: the runtime is a DLL and its functions are imported.
#ifndef _VCRTIMP
#if defined(_DLL)
#define _VCRTIMP __declspec(dllimport)
#else
#define _VCRTIMP
#endif
#endif

#ifndef _VCRT_COMPILER_PREPROCESSOR
#define _VCRT_COMPILER_PREPROCESSOR 1
#endif

// What the C++ library's own DLL exports needs no marking here: it is
// imported through msvcp140.dll's import library.
#ifndef _CRTIMP2
#define _CRTIMP2
#endif
#ifndef _MRTIMP2
#define _MRTIMP2
#endif
// The C++ library's satellite DLLs (msvcp140_1.dll, msvcp140_2.dll,
// msvcp140_codecvt_ids.dll): imported under /MD.
#ifdef _DLL
#define _CRT_SATELLITE_1 __declspec(dllimport)
#define _CRT_SATELLITE_2 __declspec(dllimport)
#define _CRT_SATELLITE_CODECVT_IDS __declspec(dllimport)
#define _CRT_SATELLITE_CODECVT_IDS_NOIMPORT
#else
#define _CRT_SATELLITE_1
#define _CRT_SATELLITE_2
#define _CRT_SATELLITE_CODECVT_IDS
#define _CRT_SATELLITE_CODECVT_IDS_NOIMPORT
#endif
// Markings of the managed (/clr) runtime: nothing in native code.
#define _PGLOBAL
#define _AGLOBAL
// MSVC's [[msvc::constexpr]]; Clang needs none.
#define _MSVC_CONSTEXPR

#define _VCRT_NOALIAS __declspec(noalias)
#define _VCRT_RESTRICT __declspec(restrict)
#define _VCRT_ALLOCATOR __declspec(allocator)
#define _VCRT_JUST_MY_CODE_OPTIMIZATION
#define _VCRT_ALIGN(x) __declspec(align(x))

#define __CLRCALL_OR_CDECL __cdecl
#define __CLRCALL_PURE_OR_CDECL __cdecl
#define __CRTDECL __CLRCALL_PURE_OR_CDECL
#define __CLR_OR_THIS_CALL

#define _CRT_STRINGIZE_(x) #x
#define _CRT_STRINGIZE(x) _CRT_STRINGIZE_(x)
#define _CRT_WIDE_(s) L##s
#define _CRT_WIDE(s) _CRT_WIDE_(s)
#define _CRT_CONCATENATE_(a, b) a##b
#define _CRT_CONCATENATE(a, b) _CRT_CONCATENATE_(a, b)
#define _CRT_APPEND(a, b) _CRT_CONCATENATE(a, b)
#define _CRT_UNPARENTHESIZE_(...) __VA_ARGS__
#define _CRT_UNPARENTHESIZE(...) _CRT_UNPARENTHESIZE_ __VA_ARGS__

#define _VCRUNTIME_DISABLED_WARNINGS 4514 4820
#ifndef _HAS_EXCEPTIONS
#define _HAS_EXCEPTIONS 1
#endif
#ifndef _HAS_NODISCARD
#define _HAS_NODISCARD 1
#endif
#if _HAS_NODISCARD
#define _NODISCARD [[nodiscard]]
#else
#define _NODISCARD
#endif

#ifndef _CRT_GUARDOVERFLOW
#define _CRT_GUARDOVERFLOW
#endif
#ifndef _CRT_HYBRIDPATCHABLE
#define _CRT_HYBRIDPATCHABLE
#endif
#ifndef _CRT_DEPRECATE_TEXT
#define _CRT_DEPRECATE_TEXT(_Text) __declspec(deprecated(_Text))
#endif
#ifndef _CRT_INSECURE_DEPRECATE
#define _CRT_INSECURE_DEPRECATE(_Replacement)
#endif
#ifndef _CRT_INSECURE_DEPRECATE_MEMORY
#define _CRT_INSECURE_DEPRECATE_MEMORY(_Replacement)
#endif
#ifndef _CRT_SECURE_CPP_NOTHROW
#define _CRT_SECURE_CPP_NOTHROW throw()
#endif

#ifdef __cplusplus
#define _CONST_RETURN const
#else
#define _CONST_RETURN
#endif

#define _CRT_ALIGN(x) __declspec(align(x))
#define _CRT_UNUSED(x) (void)x

#ifdef __cplusplus
extern "C++" {
template <typename _CountofType, unsigned __int64 _SizeOfArray>
char (*__countof_helper(_CountofType (&_Array)[_SizeOfArray]))[_SizeOfArray];
}
#define __crt_countof(_Array) (sizeof(*__countof_helper(_Array)) + 0)
#else
#define __crt_countof(_Array) (sizeof(_Array) / sizeof(_Array[0]))
#endif
#ifndef _countof
#define _countof __crt_countof
#endif

#define _CRT_HAS_CXX17 1

// The C++ library's language levels, from the /std: option.
#ifndef _HAS_CXX17
#if defined(_MSVC_LANG) && _MSVC_LANG > 201402L
#define _HAS_CXX17 1
#else
#define _HAS_CXX17 0
#endif
#endif
#ifndef _HAS_CXX20
#if _HAS_CXX17 && _MSVC_LANG > 201703L
#define _HAS_CXX20 1
#else
#define _HAS_CXX20 0
#endif
#endif
#ifndef _HAS_CXX23
#if _HAS_CXX20 && _MSVC_LANG > 202002L
#define _HAS_CXX23 1
#else
#define _HAS_CXX23 0
#endif
#endif

#ifndef _CRT_FUNCTIONS_REQUIRED
#define _CRT_FUNCTIONS_REQUIRED 1
#endif

_CRT_BEGIN_C_HEADER

typedef unsigned __int64 size_t;
typedef __int64 ptrdiff_t;
typedef __int64 intptr_t;
typedef unsigned __int64 uintptr_t;
typedef bool __vcrt_bool;
#define _SIZE_T_DEFINED
#define _PTRDIFF_T_DEFINED
#define _INTPTR_T_DEFINED
#define _UINTPTR_T_DEFINED

#ifndef _CRT_SECURITY_COOKIE_DECLARED
#define _CRT_SECURITY_COOKIE_DECLARED
extern uintptr_t __security_cookie;
void __cdecl __security_init_cookie(void);
void __cdecl __security_check_cookie(uintptr_t _StackCookie);
__declspec(noreturn) void __cdecl __report_gsfailure(uintptr_t _StackCookie);
#endif

_CRT_END_C_HEADER
