// The universal CRT's new handler, which operator new calls when the heap is
// exhausted (ucrtbase.dll exports these functions).
#pragma once
#include <corecrt.h>

#ifdef __cplusplus
#include <new>

extern "C" {
#endif

typedef int(__cdecl* _PNH)(size_t);

_ACRTIMP _PNH __cdecl _set_new_handler(_PNH _NewHandler);
_ACRTIMP _PNH __cdecl _query_new_handler(void);
_ACRTIMP int __cdecl _set_new_mode(int _NewMode);
_ACRTIMP int __cdecl _query_new_mode(void);
_ACRTIMP int __cdecl _callnewh(size_t _Size);

#ifdef __cplusplus
}
#endif
