// Loading a shared library, the one platform service the stand-in host needs.
#pragma once

#include <string>

namespace standin::library {

// Null on failure, with `error` saying why.
void* Open(const std::string& path, std::string* error);
void* Symbol(void* library, const char* name);
void Close(void* library);
std::string Suffix();

}  // namespace standin::library
