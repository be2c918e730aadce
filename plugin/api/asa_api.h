// The AsaApi plugin host as the plugin sees it: every host operation the plugin
// calls is declared here, with the host's own names, and nowhere else. The live
// build links the host's SDK; the Linux build links the stand-in in standin/host.
#pragma once

#include <spdlog/sinks/sink.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "asa_export.h"  // ASAAPI_API: the platform's import/export marking

// ---------------------------------------------------------------------------
// Engine types that cross the host boundary.

// The engine's string: UTF-16 units on every platform, `count_` including the
// terminating NUL (0 means empty, no buffer). Buffers come from and go back to
// the game's allocator, resolved by name at every call.
class FString {
 public:
  FString() = default;
  // Made by the host. Both accept null as the empty text.
  ASAAPI_API FString(const char* text);     // bytes taken as UTF-8
  ASAAPI_API FString(const wchar_t* text);  // the platform's wide text

  FString(const FString& other);
  FString(FString&& other) noexcept;
  FString& operator=(const FString& other);
  FString& operator=(FString&& other) noexcept;
  ~FString();

  // Number of characters (UTF-16 units) without the terminator.
  int32_t Len() const { return count_ > 0 ? count_ - 1 : 0; }
  bool IsEmpty() const { return Len() == 0; }
  // NUL-terminated units; "" for the empty text. Valid while *this is unchanged.
  const char16_t* Units() const { return count_ > 0 ? data_ : u""; }
  // The text as the platform's wide string (UTF-16 units on Windows, code
  // points on Linux, where a lone surrogate unit is carried as its own value).
  std::wstring ToWString() const;

  // Takes `count` units (without terminator) into a new engine buffer.
  static FString FromUnits(const char16_t* units, int32_t count);

 private:
  void Release() noexcept;

  char16_t* data_ = nullptr;
  int32_t count_ = 0;
  int32_t capacity_ = 0;
};

struct FLinearColor {
  float R = 0, G = 0, B = 0, A = 0;
};

// The game's chat record, members in the game's order; only `Message` is ours.
struct FPrimalChatMessage {
  FString SenderName;
  FString SenderSteamName;
  FString SenderTribeName;
  uint32_t SenderId = 0;
  FString Message;
  FString Receiver;
  int32_t SenderTeamIndex = 0;
  int64_t ReceivedTime = 0;
  uint8_t SendMode = 0;
  uint32_t RadioFrequency = 0;
  uint8_t ChatType = 0;
  int64_t SenderIcon = 0;
  uint8_t UserId = 0;
  FString ChatImage;
  bool bIsDirectMessage : 1 = false;
};

struct RCONPacket {
  int32_t Length = 0;
  int32_t Id = 0;
  int32_t Type = 0;
  FString Body;
};

// Engine objects the plugin only passes along.
struct APlayerController;
struct AShooterPlayerController;
struct RCONClientConnection;
struct UWorld;
struct UObject;
struct UClass;
struct UPackageMap;
struct FLinkerInstancingContext;

// ---------------------------------------------------------------------------
// Host operations.

namespace AsaApi {

class ICommands {
 public:
  using ConsoleHandler = std::function<void(APlayerController*, FString*, bool)>;
  using RconHandler = std::function<void(RCONClientConnection*, RCONPacket*, UWorld*)>;
  // The sending player, the whole chat text and the chat mode it was sent in.
  using ChatHandler = std::function<void(AShooterPlayerController*, FString*, int)>;

  // The host copies what it is given; results say nothing the plugin reads.
  virtual void RegisterConsoleCommand(const FString& name, const ConsoleHandler& handler) = 0;
  virtual void RegisterRconCommand(const FString& name, const RconHandler& handler) = 0;
  virtual bool UnregisterConsoleCommand(const FString& name) = 0;
  virtual bool UnregisterRconCommand(const FString& name) = 0;
  // A chat text whose first word is `name` (letter case ignored) goes to the
  // handler instead of to the players.
  virtual void AddChatCommand(const FString& name, const ChatHandler& handler) = 0;
  virtual bool RemoveChatCommand(const FString& name) = 0;

 protected:
  ~ICommands() = default;
};

class IHooks {
 public:
  virtual bool RemoveHook(const std::string& target, void* detour) = 0;
  // From now on the game calls `detour` for `target`; `*entry_slot` runs the
  // function the detour replaced.
  virtual bool InstallHook(const std::string& target, void* detour, void** entry_slot) = 0;

 protected:
  ~IHooks() = default;
};

ASAAPI_API ICommands& GetCommands();
ASAAPI_API IHooks& GetHooks();

namespace Tools {
// The host's folder's parent, the server's executable's folder, to which
// "/ArkApi/Plugins/" is appended. Narrow text, which the plugin takes to be
// UTF-8.
ASAAPI_API std::string GetCurrentDir();
// Ill-formed input becomes U+FFFD; never reads past the input.
ASAAPI_API std::string Utf8Encode(const std::wstring& text);
ASAAPI_API std::wstring Utf8Decode(const std::string& text);
}  // namespace Tools

}  // namespace AsaApi

namespace API {

class Timer {
 public:
  ASAAPI_API static Timer& Get();
  // Runs `callback` once, from the host's loop, no sooner than `delay_seconds`
  // from now and never inside this call. `module_path` names the plugin.
  ASAAPI_API void DelayExecuteInternal(const std::function<void()>& callback, int delay_seconds,
                                       const FString& identifier, const FString& module_path);
};

}  // namespace API

// The entry of the game function with this decorated name.
ASAAPI_API void* GetAddress(const std::string& name);

// The host's log sinks, shared with plugin loggers.
ASAAPI_API std::vector<std::shared_ptr<spdlog::sinks::sink>>& GetLogSinks();

// ---------------------------------------------------------------------------
// FString's engine-side operations: the game's allocator, by name.

namespace engine_memory {
// No name is kept in a static: static FStrings are released during static
// teardown, in no set order with other statics.
inline void* Malloc(uint64_t size, uint32_t alignment) {
  using Fn = void* (*)(uint64_t, uint32_t);
  return reinterpret_cast<Fn>(GetAddress("FMemory.Malloc(unsigned__int64,unsignedint)"))(size, alignment);
}
inline void Free(void* buffer) {
  using Fn = void (*)(void*);
  reinterpret_cast<Fn>(GetAddress("FMemory.Free(void*)"))(buffer);
}
}  // namespace engine_memory

inline FString FString::FromUnits(const char16_t* units, int32_t count) {
  FString result;
  if (count <= 0) return result;
  result.data_ = static_cast<char16_t*>(engine_memory::Malloc(uint64_t(count + 1) * 2, 0));
  std::memcpy(result.data_, units, size_t(count) * sizeof(char16_t));
  result.data_[count] = 0;
  result.count_ = result.capacity_ = count + 1;
  return result;
}

inline void FString::Release() noexcept {
  if (data_ != nullptr) engine_memory::Free(data_);
  data_ = nullptr;
  count_ = capacity_ = 0;
}

inline FString::FString(const FString& other) {
  if (other.count_ == 0) return;
  data_ = static_cast<char16_t*>(engine_memory::Malloc(uint64_t(other.count_) * 2, 0));
  std::memcpy(data_, other.data_, size_t(other.count_) * sizeof(char16_t));
  count_ = capacity_ = other.count_;
}

inline FString::FString(FString&& other) noexcept
    : data_(other.data_), count_(other.count_), capacity_(other.capacity_) {
  other.data_ = nullptr;
  other.count_ = other.capacity_ = 0;
}

inline FString& FString::operator=(const FString& other) {
  if (this != &other) *this = FString(other);
  return *this;
}

inline FString& FString::operator=(FString&& other) noexcept {
  if (this == &other) return *this;
  Release();
  data_ = other.data_;
  count_ = other.count_;
  capacity_ = other.capacity_;
  other.data_ = nullptr;
  other.count_ = other.capacity_ = 0;
  return *this;
}

inline FString::~FString() { Release(); }

inline std::wstring FString::ToWString() const {
  const int32_t n = Len();
  std::wstring out(size_t(n), L'\0');
  bool surrogates = false;
  if constexpr (sizeof(wchar_t) == 4) {
    for (int32_t i = 0; i < n; ++i) surrogates |= (data_[i] & 0xF800) == 0xD800;
  }
  if (!surrogates) {
    for (int32_t i = 0; i < n; ++i) out[size_t(i)] = wchar_t(data_[i]);
    return out;
  }
  size_t length = 0;
  for (int32_t i = 0; i < n; ++i) {
    const char32_t unit = data_[i];
    // Join a surrogate pair into its code point; anything else as it is.
    if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < n && data_[i + 1] >= 0xDC00 && data_[i + 1] < 0xE000) {
      out[length++] = wchar_t(0x10000 + ((unit - 0xD800) << 10) + (data_[i + 1] - 0xDC00));
      ++i;
      continue;
    }
    out[length++] = wchar_t(unit);
  }
  out.resize(length);
  return out;
}

// ---------------------------------------------------------------------------
// The host's permissions library. It is not linked: the plugin binds this one
// function by name at its first permission check (see plugin/platform.h).

namespace Permissions {
using IsPlayerInGroupFn = bool (*)(const FString& player_id, const FString& group);
// The symbol the library exports for `bool IsPlayerInGroup(const FString&, const FString&)`.
inline constexpr const char* kIsPlayerInGroupSymbol = "_ZN11Permissions15IsPlayerInGroupERK7FStringS2_";
}  // namespace Permissions
