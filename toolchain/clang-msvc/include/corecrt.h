// Wine's corecrt.h, completed with the conversion state of the universal CRT:
// mbstate_t is this 8-byte record there (Wine's header has an int), and the
// CRT writes all of it.
#pragma once
#include_next <corecrt.h>

#ifndef _CRT_MBSTATET_DEFINED
#define _CRT_MBSTATET_DEFINED
#ifdef __cplusplus
extern "C" {
#endif
typedef struct _Mbstatet {
  unsigned long _Wchar;
  unsigned short _Byte;
  unsigned short _State;
} _Mbstatet;
#ifdef __cplusplus
}
#endif
#endif
