// The Linux face of the library entry: the stand-in host looks this function
// up and calls it with the attach (1) and detach (0) codes, as Windows calls
// DllMain.
#include "plugin/lifecycle.h"

extern "C" __attribute__((visibility("default"))) bool PluginEntry(int reason) {
  return glyphwork::OnEntryNotification(reason);
}
