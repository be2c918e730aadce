// The engine's basic types and its allocator.
#pragma once

#include <cstddef>
#include <cstdint>

#include "API/Base.h"

using int8 = int8_t;
using int32 = int32_t;
using int64 = int64_t;
using uint8 = uint8_t;
using uint32 = uint32_t;
using uint64 = uint64_t;

using ANSICHAR = char;
using WIDECHAR = wchar_t;
// The engine's characters are 16-bit UTF-16 units. On Windows that is
// wchar_t (the live platform, where WIDECHAR and TCHAR are one type); Linux's
// wchar_t holds 32 bits, so there TCHAR is char16_t and WIDECHAR text
// (code points) is turned into units on the way in.
#ifdef _WIN32
typedef wchar_t TCHAR;
#else
typedef char16_t TCHAR;
#endif

// The game's allocator, reached by name at every call: entries move when the
// game is patched. The names are made before, and destroyed after, every
// static FString of a module: any file that defines one includes this
// header first, and inline variables are initialised in that order.
namespace FMemoryNames {
inline const std::string kMalloc = "FMemory.Malloc(unsigned__int64,unsignedint)";
inline const std::string kFree = "FMemory.Free(void*)";
}  // namespace FMemoryNames

struct FMemory {
  static void* Malloc(size_t count, uint32 alignment = 0) {
    using Fn = void* (*)(unsigned long long, unsigned int);
    return reinterpret_cast<Fn>(GetAddress(FMemoryNames::kMalloc))(count, alignment);
  }
  static void Free(void* original) {
    using Fn = void (*)(void*);
    reinterpret_cast<Fn>(GetAddress(FMemoryNames::kFree))(original);
  }
};

// An enum kept in one byte, as the game's records hold them.
template <typename Enum>
class TEnumAsByte {
 public:
  TEnumAsByte() = default;
  TEnumAsByte(Enum value) : value_(static_cast<uint8>(value)) {}
  Enum GetValue() const { return static_cast<Enum>(value_); }

 private:
  uint8 value_ = 0;
};
