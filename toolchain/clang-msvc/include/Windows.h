// <Windows.h> as Microsoft's sources spell it; Wine's file is windows.h.
#pragma once
#include <windows.h>
