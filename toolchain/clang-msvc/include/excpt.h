// Wine's excpt.h with the compiler's structured exception handling: the
// intrinsics behind GetExceptionCode and its siblings, as the Windows SDK
// declares them for MSVC-like compilers.
#pragma once
#ifndef USE_COMPILER_EXCEPTIONS
#define USE_COMPILER_EXCEPTIONS
#endif
#include_next <excpt.h>
