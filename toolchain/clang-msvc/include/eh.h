// The exception-handling declarations of the compiler runtime and of the
// universal CRT's termination functions, in place of Wine's eh.h, which
// declares them with C++ names: both runtimes export them by their C names.
#pragma once
#define __WINE_EH_H
#include <corecrt.h>
#include <vcruntime.h>

#ifndef __cplusplus
#error "eh.h is meant only for C++ applications"
#endif

_CRT_BEGIN_C_HEADER

typedef void(__cdecl* terminate_handler)(void);
typedef void(__cdecl* terminate_function)(void);
typedef void(__cdecl* unexpected_handler)(void);
typedef void(__cdecl* unexpected_function)(void);

struct _EXCEPTION_POINTERS;
typedef void(__cdecl* _se_translator_function)(unsigned int, struct _EXCEPTION_POINTERS*);

_ACRTIMP __declspec(noreturn) void __cdecl terminate(void) throw();
_ACRTIMP terminate_handler __cdecl set_terminate(terminate_handler) throw();
_ACRTIMP terminate_handler __cdecl _get_terminate(void);

_VCRTIMP __declspec(noreturn) void __cdecl unexpected(void) noexcept(false);
_VCRTIMP unexpected_handler __cdecl set_unexpected(unexpected_handler) throw();
_VCRTIMP unexpected_handler __cdecl _get_unexpected(void);
_VCRTIMP _se_translator_function __cdecl _set_se_translator(_se_translator_function);

_VCRTIMP bool __cdecl __uncaught_exception(void);
_VCRTIMP int __cdecl __uncaught_exceptions(void);

_CRT_END_C_HEADER
