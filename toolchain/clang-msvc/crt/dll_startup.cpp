// The entry point of a DLL: the C and C++ initialisers at load, the
// destructors of its statics when it is unloaded (or the process ends), and
// the module's DllMain (its own, or DllMain's default) in between. Runs under
// the loader lock, as every DLL entry does.
#include <corecrt_startup.h>
#include <vcruntime_typeinfo.h>
#include <windows.h>

#include "crt.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);
extern "C" void __cdecl __std_type_info_destroy_list(__type_info_node* root);

namespace {
// Whether the attach completed: after a failed one the loader still sends a
// detach, which must not reach statics that were never made.
bool attached = false;
}  // namespace

extern "C" BOOL WINAPI _DllMainCRTStartup(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    __security_init_cookie();
    glyphwork_crt::UseModuleExitTable();
    if (!glyphwork_crt::RunInitialisers() || !DllMain(instance, reason, reserved)) {
      glyphwork_crt::RunModuleExitTable();
      return FALSE;
    }
    attached = true;
    return TRUE;
  }
  if (reason == DLL_PROCESS_DETACH) {
    if (!attached) return FALSE;
    attached = false;
    const BOOL result = DllMain(instance, reason, reserved);
    glyphwork_crt::RunModuleExitTable();
    __std_type_info_destroy_list(&__type_info_root_node);
    return result;
  }
  return DllMain(instance, reason, reserved);
}
