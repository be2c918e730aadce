// Wine's corecrt_stdio_config.h with the options Microsoft's startup code
// sets for the printf family: wide specifiers as Windows has always read
// them, and floating-point rounding as IEEE 754 has it.
#pragma once
#ifndef _CRT_INTERNAL_LOCAL_PRINTF_OPTIONS
#define _CRT_INTERNAL_LOCAL_PRINTF_OPTIONS (0x0004ULL | 0x0020ULL)
#endif
#include_next <corecrt_stdio_config.h>
