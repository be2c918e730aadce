// Wine's signal.h, completed with the type the C standard has it declare.
#pragma once
#include_next <signal.h>

typedef int sig_atomic_t;
