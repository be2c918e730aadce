// Wine's math.h, completed as the universal CRT's math.h has it: the C99
// functions Wine's header lacks (exported by ucrtbase.dll), the long double
// functions inline over the double ones (long double is double under MSVC),
// and in C++ the classification and comparison functions as functions, not
// Wine's macros, so that the C++ library can name them.
#pragma once
#include_next <math.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef double double_t;
typedef float float_t;

_ACRTIMP double __cdecl erfc(double);
_ACRTIMP float __cdecl erfcf(float);
_ACRTIMP double __cdecl fma(double, double, double);
_ACRTIMP float __cdecl fmaf(float, float, float);
_ACRTIMP double __cdecl nan(const char*);
_ACRTIMP float __cdecl nanf(const char*);
_ACRTIMP double __cdecl nexttoward(double, long double);
_ACRTIMP float __cdecl nexttowardf(float, long double);

static __inline long double __cdecl acosl(long double _X) { return acos((double)_X); }
static __inline long double __cdecl asinl(long double _X) { return asin((double)_X); }
static __inline long double __cdecl atanl(long double _X) { return atan((double)_X); }
static __inline long double __cdecl ceill(long double _X) { return ceil((double)_X); }
static __inline long double __cdecl cosl(long double _X) { return cos((double)_X); }
static __inline long double __cdecl coshl(long double _X) { return cosh((double)_X); }
static __inline long double __cdecl expl(long double _X) { return exp((double)_X); }
static __inline long double __cdecl fabsl(long double _X) { return fabs((double)_X); }
static __inline long double __cdecl floorl(long double _X) { return floor((double)_X); }
static __inline long double __cdecl logl(long double _X) { return log((double)_X); }
static __inline long double __cdecl log10l(long double _X) { return log10((double)_X); }
static __inline long double __cdecl sinl(long double _X) { return sin((double)_X); }
static __inline long double __cdecl sinhl(long double _X) { return sinh((double)_X); }
static __inline long double __cdecl sqrtl(long double _X) { return sqrt((double)_X); }
static __inline long double __cdecl tanl(long double _X) { return tan((double)_X); }
static __inline long double __cdecl tanhl(long double _X) { return tanh((double)_X); }
static __inline long double __cdecl acoshl(long double _X) { return acosh((double)_X); }
static __inline long double __cdecl asinhl(long double _X) { return asinh((double)_X); }
static __inline long double __cdecl atanhl(long double _X) { return atanh((double)_X); }
static __inline long double __cdecl cbrtl(long double _X) { return cbrt((double)_X); }
static __inline long double __cdecl erfl(long double _X) { return erf((double)_X); }
static __inline long double __cdecl erfcl(long double _X) { return erfc((double)_X); }
static __inline long double __cdecl exp2l(long double _X) { return exp2((double)_X); }
static __inline long double __cdecl expm1l(long double _X) { return expm1((double)_X); }
static __inline long double __cdecl lgammal(long double _X) { return lgamma((double)_X); }
static __inline long double __cdecl log1pl(long double _X) { return log1p((double)_X); }
static __inline long double __cdecl log2l(long double _X) { return log2((double)_X); }
static __inline long double __cdecl logbl(long double _X) { return logb((double)_X); }
static __inline long double __cdecl nearbyintl(long double _X) { return nearbyint((double)_X); }
static __inline long double __cdecl rintl(long double _X) { return rint((double)_X); }
static __inline long double __cdecl roundl(long double _X) { return round((double)_X); }
static __inline long double __cdecl tgammal(long double _X) { return tgamma((double)_X); }
static __inline long double __cdecl truncl(long double _X) { return trunc((double)_X); }
static __inline long double __cdecl atan2l(long double _X, long double _Y) { return atan2((double)_X, (double)_Y); }
static __inline long double __cdecl fmodl(long double _X, long double _Y) { return fmod((double)_X, (double)_Y); }
static __inline long double __cdecl hypotl(long double _X, long double _Y) { return hypot((double)_X, (double)_Y); }
static __inline long double __cdecl powl(long double _X, long double _Y) { return pow((double)_X, (double)_Y); }
static __inline long double __cdecl copysignl(long double _X, long double _Y) { return copysign((double)_X, (double)_Y); }
static __inline long double __cdecl fdiml(long double _X, long double _Y) { return fdim((double)_X, (double)_Y); }
static __inline long double __cdecl fmaxl(long double _X, long double _Y) { return fmax((double)_X, (double)_Y); }
static __inline long double __cdecl fminl(long double _X, long double _Y) { return fmin((double)_X, (double)_Y); }
static __inline long double __cdecl nextafterl(long double _X, long double _Y) { return nextafter((double)_X, (double)_Y); }
static __inline long double __cdecl nexttowardl(long double _X, long double _Y) { return nexttoward((double)_X, (double)_Y); }
static __inline long double __cdecl remainderl(long double _X, long double _Y) { return remainder((double)_X, (double)_Y); }
static __inline long double __cdecl fmal(long double _X, long double _Y, long double _Z) { return fma((double)_X, (double)_Y, (double)_Z); }
static __inline long double __cdecl frexpl(long double _X, int* _Y) { return frexp((double)_X, _Y); }
static __inline long double __cdecl ldexpl(long double _X, int _Y) { return ldexp((double)_X, _Y); }
static __inline long double __cdecl modfl(long double _X, long double* _Y) { double _F; double _R = modf((double)_X, &_F); *_Y = _F; return _R; }
static __inline long double __cdecl remquol(long double _X, long double _Y, int* _Z) { return remquo((double)_X, (double)_Y, _Z); }
static __inline long double __cdecl scalbnl(long double _X, int _Y) { return scalbn((double)_X, _Y); }
static __inline long double __cdecl scalblnl(long double _X, long _Y) { return scalbln((double)_X, _Y); }
static __inline long double __cdecl nanl(const char* _X) { return nan(_X); }
static __inline int __cdecl ilogbl(long double _X) { return ilogb((double)_X); }
static __inline long __cdecl lrintl(long double _X) { return lrint((double)_X); }
static __inline long long __cdecl llrintl(long double _X) { return llrint((double)_X); }
static __inline long __cdecl lroundl(long double _X) { return lround((double)_X); }
static __inline long long __cdecl llroundl(long double _X) { return llround((double)_X); }

#ifdef __cplusplus
}

#undef fpclassify
#undef signbit
#undef isinf
#undef isnan
#undef isnormal
#undef isfinite
#undef isgreater
#undef isgreaterequal
#undef isless
#undef islessequal
#undef islessgreater
#undef isunordered

extern "C++" {
inline int fpclassify(float _X) noexcept { return _fdclass(_X); }
inline int fpclassify(double _X) noexcept { return _dclass(_X); }
inline int fpclassify(long double _X) noexcept { return _dclass(static_cast<double>(_X)); }
inline bool signbit(float _X) noexcept { return _fdsign(_X) != 0; }
inline bool signbit(double _X) noexcept { return _dsign(_X) != 0; }
inline bool signbit(long double _X) noexcept { return _dsign(static_cast<double>(_X)) != 0; }

template <class _Ty>
inline bool isfinite(_Ty _X) noexcept { return fpclassify(_X) <= 0; }
template <class _Ty>
inline bool isinf(_Ty _X) noexcept { return fpclassify(_X) == FP_INFINITE; }
template <class _Ty>
inline bool isnan(_Ty _X) noexcept { return fpclassify(_X) == FP_NAN; }
template <class _Ty>
inline bool isnormal(_Ty _X) noexcept { return fpclassify(_X) == FP_NORMAL; }

template <class _Ty1, class _Ty2>
inline bool isgreater(_Ty1 _X, _Ty2 _Y) noexcept { return !isnan(_X) && !isnan(_Y) && _X > _Y; }
template <class _Ty1, class _Ty2>
inline bool isgreaterequal(_Ty1 _X, _Ty2 _Y) noexcept { return !isnan(_X) && !isnan(_Y) && _X >= _Y; }
template <class _Ty1, class _Ty2>
inline bool isless(_Ty1 _X, _Ty2 _Y) noexcept { return !isnan(_X) && !isnan(_Y) && _X < _Y; }
template <class _Ty1, class _Ty2>
inline bool islessequal(_Ty1 _X, _Ty2 _Y) noexcept { return !isnan(_X) && !isnan(_Y) && _X <= _Y; }
template <class _Ty1, class _Ty2>
inline bool islessgreater(_Ty1 _X, _Ty2 _Y) noexcept { return !isnan(_X) && !isnan(_Y) && (_X < _Y || _X > _Y); }
template <class _Ty1, class _Ty2>
inline bool isunordered(_Ty1 _X, _Ty2 _Y) noexcept { return isnan(_X) || isnan(_Y); }
}
#endif
