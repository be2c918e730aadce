// The stack buffer overrun check (/GS): a random cookie set before any
// checked function runs, and the check that ends the process when a
// function's copy of it was overwritten. Built without /GS itself.
#include <intrin.h>
#include <windows.h>

extern "C" {
uintptr_t __security_cookie = 0x00002B992DDFA232;

void __cdecl __security_init_cookie(void) {
  if (__security_cookie != 0x00002B992DDFA232) return;
  FILETIME time{};
  GetSystemTimeAsFileTime(&time);
  LARGE_INTEGER counter{};
  QueryPerformanceCounter(&counter);
  uintptr_t cookie = (uintptr_t(time.dwHighDateTime) << 32) ^ time.dwLowDateTime;
  cookie ^= uintptr_t(GetCurrentThreadId()) ^ (uintptr_t(GetCurrentProcessId()) << 32);
  cookie ^= uintptr_t(counter.QuadPart) << 32 ^ uintptr_t(counter.QuadPart);
  cookie ^= reinterpret_cast<uintptr_t>(&cookie);
  cookie &= 0x0000FFFFFFFFFFFF;
  if (cookie == 0x00002B992DDFA232) cookie += 1;
  __security_cookie = cookie;
}

void __cdecl __security_check_cookie(uintptr_t cookie) {
  if (cookie != __security_cookie) __fastfail(FAST_FAIL_STACK_COOKIE_CHECK_FAILURE);
}
}
