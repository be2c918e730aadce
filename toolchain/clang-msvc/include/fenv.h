// Wine's fenv.h, completed with the two functions the universal CRT's fenv.h
// defines inline: raising exceptions by arithmetic that sets their flags, and
// feupdateenv over the others.
#pragma once
#include_next <fenv.h>

#ifdef __cplusplus
extern "C" {
#endif

static __inline int __cdecl feraiseexcept(int _Except) {
  // Volatile, so that the compiler computes at run time and the flags rise.
  static volatile const double _Zero = 0.0, _One = 1.0, _Big = 1e300, _Small = 1e-300;
  volatile double _Ans;
  if (_Except & FE_INVALID) _Ans = _Zero / _Zero;
  if (_Except & FE_DIVBYZERO) _Ans = _One / _Zero;
  if (_Except & FE_OVERFLOW) _Ans = _Big * _Big;
  if (_Except & FE_UNDERFLOW) _Ans = _Small * _Small;
  if (_Except & FE_INEXACT) _Ans = _One + _Small;
  (void)_Ans;
  return 0;
}

static __inline int __cdecl feupdateenv(const fenv_t* _Env) {
  int _Save = fetestexcept(FE_ALL_EXCEPT);
  if (fesetenv(_Env) != 0) return 1;
  return feraiseexcept(_Save);
}

#ifdef __cplusplus
}
#endif
