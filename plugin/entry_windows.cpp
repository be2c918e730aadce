// The Windows library entry: the process notifications become Load and Unload.
#include <windows.h>

#include "plugin/lifecycle.h"

BOOL APIENTRY DllMain(HMODULE, DWORD reason, LPVOID) {
  return glyphwork::OnEntryNotification(static_cast<int>(reason)) ? TRUE : FALSE;
}
