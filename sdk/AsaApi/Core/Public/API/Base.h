// The stand-in of the AsaApi host's SDK: what every header of it shares. The
// live SDK is Windows-only; this one also builds on Linux, and keeps the
// difference in these few lines and in the types of API/UE/BasicTypes.h.
#pragma once

#include <string>

// ARK_API marks what the host library exports and a plugin imports.
#ifdef _WIN32
#ifdef ASAAPI_EXPORTS
#define ARK_API __declspec(dllexport)
#else
#define ARK_API __declspec(dllimport)
#endif
#ifndef APIENTRY
#define APIENTRY __stdcall
#endif
#else
#define ARK_API __attribute__((visibility("default")))
#define APIENTRY
#endif

// As <windows.h> declares it.
typedef void* LPVOID;

// The entry of the game function with this decorated name, such as
// "FMemory.Free(void*)". A name the host does not know ends the process.
ARK_API LPVOID GetAddress(const std::string& name);
