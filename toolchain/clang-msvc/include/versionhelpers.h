// The Windows SDK's version helpers, inline over VerifyVersionInfoW as there
// (Wine has no such header).
#pragma once
#include <windows.h>

static __inline BOOL IsWindowsVersionOrGreater(WORD _Major, WORD _Minor, WORD _ServicePack) {
  OSVERSIONINFOEXW _Info = {sizeof(_Info), 0, 0, 0, 0, {0}, 0, 0, 0, 0, 0};
  DWORDLONG const _Mask = VerSetConditionMask(
      VerSetConditionMask(VerSetConditionMask(0, VER_MAJORVERSION, VER_GREATER_EQUAL), VER_MINORVERSION,
                          VER_GREATER_EQUAL),
      VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
  _Info.dwMajorVersion = _Major;
  _Info.dwMinorVersion = _Minor;
  _Info.wServicePackMajor = _ServicePack;
  return VerifyVersionInfoW(&_Info, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR, _Mask) != FALSE;
}

static __inline BOOL IsWindowsXPOrGreater(void) { return IsWindowsVersionOrGreater(5, 1, 0); }
static __inline BOOL IsWindowsVistaOrGreater(void) { return IsWindowsVersionOrGreater(6, 0, 0); }
static __inline BOOL IsWindows7OrGreater(void) { return IsWindowsVersionOrGreater(6, 1, 0); }
static __inline BOOL IsWindows8OrGreater(void) { return IsWindowsVersionOrGreater(6, 2, 0); }
static __inline BOOL IsWindows8Point1OrGreater(void) { return IsWindowsVersionOrGreater(6, 3, 0); }
static __inline BOOL IsWindows10OrGreater(void) { return IsWindowsVersionOrGreater(10, 0, 0); }
