#include <dlfcn.h>

#include "standin/host/library.h"

namespace standin::library {

void* Open(const std::string& path, std::string* error) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr && error != nullptr) {
    const char* text = dlerror();
    *error = text ? text : "dlopen failed";
  }
  return handle;
}

void* Symbol(void* library, const char* name) { return dlsym(library, name); }

void Close(void* library) { dlclose(library); }

std::string Suffix() { return ".so"; }

}  // namespace standin::library
