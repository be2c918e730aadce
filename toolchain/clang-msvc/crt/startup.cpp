// The initialiser tables, atexit and the module's exit table, shared by the
// DLL and the executable entry points.
#include <corecrt_startup.h>
#include <stdlib.h>

#include "crt.h"

// The compiler puts a pointer to each initialiser in a section .CRT$X?U; the
// linker sorts the .CRT$ sections by name, so these bound each table.
#pragma section(".CRT$XIA", long, read)
#pragma section(".CRT$XIZ", long, read)
#pragma section(".CRT$XCA", long, read)
#pragma section(".CRT$XCZ", long, read)
#pragma section(".CRT$XPA", long, read)
#pragma section(".CRT$XPZ", long, read)
#pragma section(".CRT$XTA", long, read)
#pragma section(".CRT$XTZ", long, read)

extern "C" {
__declspec(allocate(".CRT$XIA")) _PIFV __xi_a[] = {nullptr};
__declspec(allocate(".CRT$XIZ")) _PIFV __xi_z[] = {nullptr};
__declspec(allocate(".CRT$XCA")) _PVFV __xc_a[] = {nullptr};
__declspec(allocate(".CRT$XCZ")) _PVFV __xc_z[] = {nullptr};
__declspec(allocate(".CRT$XPA")) _PVFV __xp_a[] = {nullptr};
__declspec(allocate(".CRT$XPZ")) _PVFV __xp_z[] = {nullptr};
__declspec(allocate(".CRT$XTA")) _PVFV __xt_a[] = {nullptr};
__declspec(allocate(".CRT$XTZ")) _PVFV __xt_z[] = {nullptr};
}

namespace glyphwork_crt {

namespace {
_onexit_table_t module_exit_table;
// The CRT's table (an executable), the module's own (a DLL), or none any more
// (a DLL that ran its table: what it registers then would outlive its code).
enum class ExitTable { kProcess, kModule, kClosed };
ExitTable exit_table = ExitTable::kProcess;
}  // namespace

void UseModuleExitTable() {
  _initialize_onexit_table(&module_exit_table);
  exit_table = ExitTable::kModule;
}

void RunModuleExitTable() {
  if (exit_table != ExitTable::kModule) return;
  exit_table = ExitTable::kClosed;
  _execute_onexit_table(&module_exit_table);
}

bool RunInitialisers() {
  if (_initterm_e(__xi_a, __xi_z) != 0) return false;
  _initterm(__xc_a, __xc_z);
  return true;
}

}  // namespace glyphwork_crt

extern "C" _onexit_t __cdecl _onexit(_onexit_t function) {
  using glyphwork_crt::ExitTable;
  switch (glyphwork_crt::exit_table) {
    case ExitTable::kProcess:
      return _crt_atexit(reinterpret_cast<_PVFV>(function)) == 0 ? function : nullptr;
    case ExitTable::kModule:
      return _register_onexit_function(&glyphwork_crt::module_exit_table, function) == 0 ? function : nullptr;
    case ExitTable::kClosed:
      break;
  }
  return nullptr;
}

extern "C" int __cdecl atexit(_PVFV function) {
  return _onexit(reinterpret_cast<_onexit_t>(function)) == nullptr ? -1 : 0;
}

// quick_exit runs the executable's functions only: a DLL's are kept nowhere,
// since they could outlive its code.
extern "C" int __cdecl at_quick_exit(_PVFV function) {
  return glyphwork_crt::exit_table == glyphwork_crt::ExitTable::kProcess ? _crt_at_quick_exit(function) : 0;
}
