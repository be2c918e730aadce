// Wine's stdio.h, completed with the C99 scanf family that the universal CRT
// defines inline over its __stdio_common_* functions, as the other members
// of the family are in Wine's header.
#pragma once
#include_next <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

_ACRTIMP errno_t __cdecl _get_stream_buffer_pointers(FILE* _Stream, char*** _Base, char*** _Ptr, int** _Count);

static __inline int __cdecl vsnprintf_s(char* _Buffer, size_t _BufferCount, size_t _MaxCount, const char* _Format,
                                        va_list _Args) {
  int _Result = __stdio_common_vsnprintf_s(_CRT_INTERNAL_LOCAL_PRINTF_OPTIONS, _Buffer, _BufferCount, _MaxCount,
                                           _Format, NULL, _Args);
  return _Result < 0 ? -1 : _Result;
}

static __inline int __cdecl vfscanf(FILE* _Stream, const char* _Format, va_list _Args) {
  return __stdio_common_vfscanf(_CRT_INTERNAL_LOCAL_SCANF_OPTIONS, _Stream, _Format, NULL, _Args);
}

static __inline int __cdecl vscanf(const char* _Format, va_list _Args) {
  return __stdio_common_vfscanf(_CRT_INTERNAL_LOCAL_SCANF_OPTIONS, stdin, _Format, NULL, _Args);
}

static __inline int __cdecl vsscanf(const char* _Buffer, const char* _Format, va_list _Args) {
  return __stdio_common_vsscanf(_CRT_INTERNAL_LOCAL_SCANF_OPTIONS, _Buffer, (size_t)-1, _Format, NULL, _Args);
}

static __inline int __cdecl vfwscanf(FILE* _Stream, const wchar_t* _Format, va_list _Args) {
  return __stdio_common_vfwscanf(_CRT_INTERNAL_LOCAL_SCANF_OPTIONS, _Stream, _Format, NULL, _Args);
}

static __inline int __cdecl vwscanf(const wchar_t* _Format, va_list _Args) {
  return __stdio_common_vfwscanf(_CRT_INTERNAL_LOCAL_SCANF_OPTIONS, stdin, _Format, NULL, _Args);
}

static __inline int __cdecl vswscanf(const wchar_t* _Buffer, const wchar_t* _Format, va_list _Args) {
  return __stdio_common_vswscanf(_CRT_INTERNAL_LOCAL_SCANF_OPTIONS, _Buffer, (size_t)-1, _Format, NULL, _Args);
}

#ifdef __cplusplus
}
#endif
