// The library's two exports, which the host finds by name: Plugin_Init after
// it loaded the library, Plugin_Unload before it unloads it. The library's
// load notification does nothing of ours: it runs under the platform's
// loader lock, where installing a hook would wait forever. No exception
// crosses into the host.
#include "plugin/lifecycle.h"

extern "C" GLYPHWORK_EXPORT void Plugin_Init() { glyphwork::StartPlugin(); }

extern "C" GLYPHWORK_EXPORT void Plugin_Unload() { glyphwork::StopPlugin(); }
