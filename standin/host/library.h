// The platform services the stand-in host needs: loading a plugin library
// and finding its exports, telling which module an address belongs to, and
// the narrow text the host reports. One file per platform.
#pragma once

#include <string>

namespace standin::library {

struct Library;

// Loads the library at `path` (UTF-8). Null when it cannot be loaded, with
// the reason in `error`.
Library* Open(const std::string& path, std::string* error);
// The exported function of that plain (undecorated) name, or null.
void* Symbol(Library* library, const char* name);
void Close(Library* library);
// The library's file as the platform reports it (UTF-8).
std::string ModulePath(Library* library);
// The file of the module that holds `address` (UTF-8), or "" for none.
std::string ModuleOf(const void* address);
// ".so" or ".dll".
std::string Suffix();
// UTF-8 text as the host reports a folder: the system's ANSI code page on
// Windows (what the live host's GetModuleFileNameA gives; a character the
// code page lacks becomes '?'), the bytes themselves on Linux.
std::string HostNarrowText(const std::string& utf8);
// The threads this process runs now, the caller's included.
int ThreadCount();

}  // namespace standin::library
