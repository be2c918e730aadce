// Wine's windef.h, which defines the keyword inline as __inline for every
// MSVC-like compiler; the C++ library forbids macros named as keywords, and
// in C++ the two are the same.
#pragma once
#include_next <windef.h>
#ifdef __cplusplus
#undef inline
#endif
