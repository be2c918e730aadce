// Thread-safe initialisation of function-local statics, as the compiler's
// MSVC mode expects it: a guard int per static, compared against a per-thread
// epoch so that a static already initialised costs one comparison, and the
// three calls below around the first initialisation.
#include <limits.h>
#include <windows.h>

namespace {
constexpr int kUninitialized = 0;
constexpr int kBeingInitialized = -1;

SRWLOCK lock = SRWLOCK_INIT;
CONDITION_VARIABLE initialized = CONDITION_VARIABLE_INIT;
}  // namespace

extern "C" {
int _Init_global_epoch = INT_MIN;
__declspec(thread) int _Init_thread_epoch = INT_MIN;

// On return *guard is kBeingInitialized when this thread must run the
// initialisation; otherwise another thread has completed it.
void __cdecl _Init_thread_header(int* guard) noexcept {
  AcquireSRWLockExclusive(&lock);
  if (*guard == kUninitialized) {
    *guard = kBeingInitialized;
  } else {
    while (*guard == kBeingInitialized) {
      SleepConditionVariableSRW(&initialized, &lock, INFINITE, 0);
      // The other thread's initialisation threw: this one tries.
      if (*guard == kUninitialized) {
        *guard = kBeingInitialized;
        ReleaseSRWLockExclusive(&lock);
        return;
      }
    }
    _Init_thread_epoch = _Init_global_epoch;
  }
  ReleaseSRWLockExclusive(&lock);
}

// The initialisation threw: the next thread to come tries again.
void __cdecl _Init_thread_abort(int* guard) noexcept {
  AcquireSRWLockExclusive(&lock);
  *guard = kUninitialized;
  ReleaseSRWLockExclusive(&lock);
  WakeAllConditionVariable(&initialized);
}

void __cdecl _Init_thread_footer(int* guard) noexcept {
  AcquireSRWLockExclusive(&lock);
  ++_Init_global_epoch;
  *guard = _Init_global_epoch;
  _Init_thread_epoch = _Init_global_epoch;
  ReleaseSRWLockExclusive(&lock);
  WakeAllConditionVariable(&initialized);
}
}
