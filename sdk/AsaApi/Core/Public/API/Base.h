// The stand-in of the AsaApi host's SDK: what every header of it shares. The
// live SDK is Windows-only and starts with <windows.h> (lean, and without
// NOMINMAX: its min and max macros are there in C++ too); this one also
// builds on Linux, and keeps the difference in these few lines and in the
// types of API/UE/BasicTypes.h.
#pragma once

#include <string>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

// ARK_API marks what the host library exports and a plugin imports.
#ifdef ASAAPI_EXPORTS
#define ARK_API __declspec(dllexport)
#else
#define ARK_API __declspec(dllimport)
#endif
#else
#define ARK_API __attribute__((visibility("default")))
#define APIENTRY

// As <windows.h> declares them.
typedef void* LPVOID;
typedef unsigned long long DWORD64;
#endif

// The entry of the game function with this decorated name, such as
// "FMemory.Free(void*)". A name the host does not know ends the process.
ARK_API LPVOID GetAddress(const std::string& name);
