#include <spdlog/sinks/stdout_sinks.h>
#include <spdlog/sinks/wincolor_sink.h>
#include <windows.h>

#include "platform/platform.h"

namespace glyphwork::platform {

namespace {
void AddressInPlugin() {}

// The name the live Permissions.dll exports `bool
// Permissions::IsPlayerInGroup(const FString&, const FString&)` under (MSVC,
// x64); the stand-in library exports it under the same name.
constexpr const char* kIsPlayerInGroupSymbol = "?IsPlayerInGroup@Permissions@@YA_NAEBVFString@@0@Z";
}  // namespace

std::wstring ModuleFilePath() {
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&AddressInPlugin), &module);
  wchar_t buffer[260] = {};
  GetModuleFileNameW(module, buffer, 260);
  return buffer;
}

std::filesystem::path PathFromHostText(const std::string& text) {
  if (text.empty()) return {};
  const int size = MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0);
  std::wstring wide(size_t(size), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), wide.data(), size);
  return std::filesystem::path(wide);
}

IsPlayerInGroupFn FindIsPlayerInGroup(std::string* error) {
  HMODULE library = GetModuleHandleW(L"Permissions.dll");
  if (library == nullptr) {
    if (error) *error = "Permissions.dll is not loaded";
    return nullptr;
  }
  FARPROC symbol = GetProcAddress(library, kIsPlayerInGroupSymbol);
  if (symbol == nullptr) {
    if (error) *error = std::string("Permissions.dll has no ") + kIsPlayerInGroupSymbol;
    return nullptr;
  }
  return reinterpret_cast<IsPlayerInGroupFn>(reinterpret_cast<void*>(symbol));
}

std::shared_ptr<spdlog::sinks::sink> ConsoleSink() {
  // The colour sink of the host's logging library writes to a console only.
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (!GetConsoleMode(output, &mode)) return std::make_shared<spdlog::sinks::stdout_sink_mt>();
  // The lines carry their colours as escape sequences, which a console shows
  // raw unless it processes them; where it cannot, they stay as they are.
  if ((mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) == 0)
    SetConsoleMode(output, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
  return std::make_shared<spdlog::sinks::wincolor_stdout_sink_mt>();
}

std::tm LocalTime(std::time_t time) {
  std::tm local{};
  localtime_s(&local, &time);
  return local;
}

int64_t UtcSecondsNow() {
  using ShiftFn = long long (*)();
  static const auto shift = [] {
    HMODULE host = GetModuleHandleW(L"AsaApi.dll");
    return host == nullptr
               ? nullptr
               : reinterpret_cast<ShiftFn>(reinterpret_cast<void*>(GetProcAddress(host, "StandInClockShiftSeconds")));
  }();
  return int64_t(std::time(nullptr)) + (shift != nullptr ? shift() : 0);
}

void ShutDownSocket(uint64_t socket) {
  // Through the socket library a database client loaded: the plugin itself
  // imports none.
  const HMODULE sockets = GetModuleHandleW(L"ws2_32.dll");
  if (sockets == nullptr) return;
  using ShutdownFn = int(WINAPI*)(UINT_PTR, int);
  const auto shut_down = reinterpret_cast<ShutdownFn>(reinterpret_cast<void*>(GetProcAddress(sockets, "shutdown")));
  constexpr int kBoth = 2;  // SD_BOTH
  if (shut_down != nullptr) shut_down(static_cast<UINT_PTR>(socket), kBoth);
}

}  // namespace glyphwork::platform
