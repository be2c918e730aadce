// Wine's crtdbg.h, completed with the report destinations of the debug CRT,
// which a release build names too (its report functions do nothing).
#pragma once
#include_next <crtdbg.h>

#ifndef _CRTDBG_MODE_FILE
#define _CRTDBG_MODE_FILE 0x1
#define _CRTDBG_MODE_DEBUG 0x2
#define _CRTDBG_MODE_WNDW 0x4
#define _CRTDBG_REPORT_MODE -1
#endif
#ifndef _CRTDBG_FILE_STDERR
#define _CRTDBG_INVALID_HFILE ((void*)(intptr_t)-1)
#define _CRTDBG_HFILE_ERROR ((void*)(intptr_t)-2)
#define _CRTDBG_FILE_STDOUT ((void*)(intptr_t)-4)
#define _CRTDBG_FILE_STDERR ((void*)(intptr_t)-5)
#define _CRTDBG_REPORT_FILE ((void*)(intptr_t)-6)
#endif
#if !defined(_DEBUG) && !defined(_CrtSetReportFile)
#define _CrtSetReportFile(t, f) ((void*)0)
#endif
