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

extern "C" BOOL WINAPI _DllMainCRTStartup(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    __security_init_cookie();
    glyphwork_crt::UseModuleExitTable();
    if (!glyphwork_crt::RunInitialisers()) {
      glyphwork_crt::RunModuleExitTable();
      return FALSE;
    }
    if (!DllMain(instance, reason, reserved)) {
      glyphwork_crt::RunModuleExitTable();
      return FALSE;
    }
    return TRUE;
  }
  const BOOL result = DllMain(instance, reason, reserved);
  if (reason == DLL_PROCESS_DETACH) {
    glyphwork_crt::RunModuleExitTable();
    __std_type_info_destroy_list(&__type_info_root_node);
  }
  return result;
}
