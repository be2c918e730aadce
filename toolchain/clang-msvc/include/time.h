// Wine's time.h, completed with the C11 time of day the universal CRT adds
// (struct timespec and timespec_get, over ucrtbase.dll's _timespec64_get).
#pragma once
#include_next <time.h>

#ifndef _CRT_TIMESPEC_DEFINED
#define _CRT_TIMESPEC_DEFINED
#ifdef __cplusplus
extern "C" {
#endif

struct _timespec32 {
  __time32_t tv_sec;
  long tv_nsec;
};
struct _timespec64 {
  __time64_t tv_sec;
  long tv_nsec;
};
struct timespec {
  time_t tv_sec;
  long tv_nsec;
};

#define TIME_UTC 1

_ACRTIMP errno_t __cdecl _gmtime64_s(struct tm*, const __time64_t*);
_ACRTIMP int __cdecl _timespec32_get(struct _timespec32*, int);
_ACRTIMP int __cdecl _timespec64_get(struct _timespec64*, int);

static __inline errno_t __cdecl localtime_s(struct tm* const _Tm, time_t const* const _Time) {
  return _localtime64_s(_Tm, _Time);
}

static __inline errno_t __cdecl gmtime_s(struct tm* const _Tm, time_t const* const _Time) {
  return _gmtime64_s(_Tm, _Time);
}

static __inline int __cdecl timespec_get(struct timespec* const _Ts, int const _Base) {
  return _timespec64_get((struct _timespec64*)_Ts, _Base);
}

#ifdef __cplusplus
}
#endif
#endif
