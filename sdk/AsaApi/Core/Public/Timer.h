// The host's timer: callbacks run once, later, on the game thread, from the
// game's once-per-second timer. They run with no exception handler: an
// exception that leaves a callback ends the server.
#pragma once

#include <API/ARK/Ark.h>

#include <functional>
#include <random>
#include <string>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace API {

namespace TimerDetail {

// An address in whichever module includes this header: the templates below
// are compiled into the plugin that calls them, and name it to the host.
static const char kInThisModule = 0;

// The full path of the module that holds `address`.
inline std::wstring ModulePath(const void* address) {
#ifdef _WIN32
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(address), &module);
  wchar_t buffer[32768] = {};
  GetModuleFileNameW(module, buffer, 32768);
  return buffer;
#else
  Dl_info info{};
  if (dladdr(address, &info) == 0 || info.dli_fname == nullptr) return {};
  return AsaApi::Tools::Utf8Decode(info.dli_fname);
#endif
}

}  // namespace TimerDetail

class Timer {
 public:
  ARK_API static Timer& Get();

  // Runs callback(args...) once, no sooner than `delay` seconds from now and
  // never inside this call. The host drops it when the plugin is unloaded
  // first.
  template <typename Func, typename... Args>
  void DelayExecute(const FString& identifier, const Func& callback, int delay, Args&&... args) {
    const std::wstring module = TimerDetail::ModulePath(&TimerDetail::kInThisModule);
    DelayExecuteInternal(std::bind(callback, std::forward<Args>(args)...), delay, identifier, FString(module.c_str()));
  }

  // The same, identified as "<module path>_<random number>".
  template <typename Func, typename... Args>
  void DelayExecute(const Func& callback, int delay, Args&&... args) {
    const std::wstring identifier =
        TimerDetail::ModulePath(&TimerDetail::kInThisModule) + L"_" + std::to_wstring(std::random_device()() % 1000000);
    DelayExecute(FString(identifier.c_str()), callback, delay, std::forward<Args>(args)...);
  }

 private:
  ARK_API void DelayExecuteInternal(const std::function<void()>& callback, int delay_seconds,
                                    const FString& identifier = "", const FString& moduleName = "");
};

}  // namespace API
