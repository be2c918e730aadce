#include <dlfcn.h>

#include <filesystem>

#include "standin/host/library.h"

namespace standin::library {

struct Library {
  void* handle;
  std::string path;
};

Library* Open(const std::string& path, std::string* error) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* text = dlerror();
    *error = text ? text : "dlopen failed";
    return nullptr;
  }
  return new Library{handle, path};
}

void* Symbol(Library* library, const char* name) { return dlsym(library->handle, name); }

void Close(Library* library) {
  dlclose(library->handle);
  delete library;
}

std::string ModulePath(Library* library) { return library->path; }

std::string ModuleOf(const void* address) {
  Dl_info info{};
  if (dladdr(address, &info) == 0 || info.dli_fname == nullptr) return {};
  return info.dli_fname;
}

std::string Suffix() { return ".so"; }

int ThreadCount() {
  int count = 0;
  std::error_code error;
  for (auto it = std::filesystem::directory_iterator("/proc/self/task", error);
       !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
    ++count;
  }
  return count;
}

std::string HostNarrowText(const std::string& utf8) { return utf8; }

}  // namespace standin::library
