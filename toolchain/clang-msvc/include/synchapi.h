// Wine's synchapi.h needs the base Windows types first; the Windows SDK's
// brings them itself.
#pragma once
#include <windows.h>
#include_next <synchapi.h>
