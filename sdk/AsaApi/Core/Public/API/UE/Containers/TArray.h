// The engine's array, as far as the engine's string needs it: elements that
// are copied as bytes, in a buffer of the game's allocator.
#pragma once

#include <cstring>
#include <utility>

#include "API/UE/BasicTypes.h"

template <typename T>
class TArray {
 public:
  TArray() = default;
  // A copy holds exactly the elements: no buffer when there are none.
  TArray(const TArray& other) {
    if (other.ArrayNum == 0) return;
    Data = static_cast<T*>(FMemory::Malloc(size_t(other.ArrayNum) * sizeof(T)));
    std::memcpy(Data, other.Data, size_t(other.ArrayNum) * sizeof(T));
    ArrayNum = ArrayMax = other.ArrayNum;
  }
  TArray(TArray&& other) noexcept : Data(other.Data), ArrayNum(other.ArrayNum), ArrayMax(other.ArrayMax) {
    other.Data = nullptr;
    other.ArrayNum = other.ArrayMax = 0;
  }
  TArray& operator=(const TArray& other) {
    if (this != &other) *this = TArray(other);
    return *this;
  }
  TArray& operator=(TArray&& other) noexcept {
    if (this == &other) return *this;
    Release();
    std::swap(Data, other.Data);
    std::swap(ArrayNum, other.ArrayNum);
    std::swap(ArrayMax, other.ArrayMax);
    return *this;
  }
  ~TArray() { Release(); }

  T* GetData() { return Data; }
  const T* GetData() const { return Data; }
  int32 Num() const { return ArrayNum; }
  int32 Max() const { return ArrayMax; }

  // Adds `count` elements left as they are; the index of the first.
  int32 AddUninitialized(int32 count) {
    const int32 first = ArrayNum;
    if (ArrayNum + count > ArrayMax) {
      T* grown = static_cast<T*>(FMemory::Malloc(size_t(ArrayNum + count) * sizeof(T)));
      if (ArrayNum > 0) std::memcpy(grown, Data, size_t(ArrayNum) * sizeof(T));
      if (Data != nullptr) FMemory::Free(Data);
      Data = grown;
      ArrayMax = ArrayNum + count;
    }
    ArrayNum += count;
    return first;
  }

 private:
  void Release() noexcept {
    if (Data != nullptr) FMemory::Free(Data);
    Data = nullptr;
    ArrayNum = ArrayMax = 0;
  }

  T* Data = nullptr;
  int32 ArrayNum = 0;
  int32 ArrayMax = 0;
};
