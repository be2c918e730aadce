// The universal CRT's termination header: its declarations are in eh.h here.
#pragma once
#include <eh.h>
