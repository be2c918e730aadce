// The engine's string: UTF-16 units in a TArray, ArrayNum counting the
// terminating NUL (0, and no buffer, for the empty text). Copies, moves and
// releases are inline, through the game's allocator; the two constructors
// from C text are the host's.
#pragma once

#include "API/UE/Containers/TArray.h"

class FString {
 public:
  FString() = default;
  // Widens each byte to one unit, as the game's FString.FString(char*) does:
  // it does not decode UTF-8. Null is the empty text.
  ARK_API FString(const ANSICHAR* text);
  // The platform's wide text: UTF-16 units taken as they are on Windows; on
  // Linux code points, those past U+FFFF as surrogate pairs and those past
  // U+10FFFF as U+FFFD. Null is the empty text.
  ARK_API FString(const WIDECHAR* text);
#ifndef _WIN32
  // The engine's units as they are. On Windows this is the constructor above.
  ARK_API FString(const TCHAR* text);
#endif

  // Characters (units) without the terminator.
  int32 Len() const { return Data.Num() > 0 ? Data.Num() - 1 : 0; }
  bool IsEmpty() const { return Data.Num() <= 1; }
  // The NUL-terminated units; an empty text when there are none. Valid while
  // the string is unchanged.
  const TCHAR* operator*() const { return Data.Num() > 0 ? Data.GetData() : EmptyText(); }

  TArray<TCHAR>& GetCharArray() { return Data; }
  const TArray<TCHAR>& GetCharArray() const { return Data; }

 private:
  static const TCHAR* EmptyText() {
    static const TCHAR empty[1] = {};
    return empty;
  }

  TArray<TCHAR> Data;
};
