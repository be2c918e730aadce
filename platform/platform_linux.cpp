#include <dlfcn.h>
#include <spdlog/sinks/ansicolor_sink.h>
#include <sys/socket.h>

#include <filesystem>

#include "common/utf8_path.h"
#include "platform/platform.h"

namespace glyphwork::platform {

namespace {
void AddressInPlugin() {}

// What g++ names `bool Permissions::IsPlayerInGroup(const FString&, const
// FString&)`: ELF has no room for the live library's decorated name.
constexpr const char* kIsPlayerInGroupSymbol = "_ZN11Permissions15IsPlayerInGroupERK7FStringS2_";
}  // namespace

std::wstring ModuleFilePath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&AddressInPlugin), &info) == 0 || info.dli_fname == nullptr) return {};
  std::error_code error;
  const auto path = std::filesystem::absolute(info.dli_fname, error);
  // The name is taken to be UTF-8, as every name the plugin handles: path's
  // own wstring() would go by the C library's locale, which knows no
  // character beyond ASCII unless the host sets one.
  return AsaApi::Tools::Utf8Decode(error ? std::string(info.dli_fname) : glyphwork::Utf8FromPath(path));
}

std::filesystem::path PathFromHostText(const std::string& text) { return PathFromUtf8(text); }

IsPlayerInGroupFn FindIsPlayerInGroup(std::string* error) {
  // Found only where loaded; the reference taken to look goes at once.
  void* library = dlopen("libPermissions.so", RTLD_NOW | RTLD_NOLOAD);
  if (library == nullptr) {
    if (error) *error = "libPermissions.so is not loaded";
    return nullptr;
  }
  void* symbol = dlsym(library, kIsPlayerInGroupSymbol);
  const char* text = symbol == nullptr ? dlerror() : nullptr;
  if (symbol == nullptr && error) *error = text ? text : "IsPlayerInGroup not found";
  dlclose(library);
  return reinterpret_cast<IsPlayerInGroupFn>(symbol);
}

std::shared_ptr<spdlog::sinks::sink> ConsoleSink() {
  // The sink writes the colours it is given and leaves the text's own alone.
  return std::make_shared<spdlog::sinks::ansicolor_stdout_sink_mt>();
}

std::tm LocalTime(std::time_t time) {
  std::tm local{};
  localtime_r(&time, &local);
  return local;
}

int64_t UtcSecondsNow() {
  // The host is in the program's global scope: the plugin was loaded by it.
  using ShiftFn = long long (*)();
  static const auto shift = reinterpret_cast<ShiftFn>(dlsym(RTLD_DEFAULT, "StandInClockShiftSeconds"));
  return int64_t(std::time(nullptr)) + (shift != nullptr ? shift() : 0);
}

void ShutDownSocket(uint64_t socket) { shutdown(static_cast<int>(socket), SHUT_RDWR); }

}  // namespace glyphwork::platform
