// What the runtime's static part shares between its files: the tables of
// initialisers the compiler fills, and the module's own exit table.
#pragma once

extern "C" {
typedef void(__cdecl* _PVFV)(void);
typedef int(__cdecl* _PIFV)(void);

// Bounds of the compiler's initialiser sections: C (.CRT$XI*), C++ (.CRT$XC*),
// pre-terminators (.CRT$XP*) and terminators (.CRT$XT*).
extern _PIFV __xi_a[], __xi_z[];
extern _PVFV __xc_a[], __xc_z[];
extern _PVFV __xp_a[], __xp_z[];
extern _PVFV __xt_a[], __xt_z[];
}

namespace glyphwork_crt {

// A DLL keeps its own table of functions to run at exit (destructors of its
// statics, atexit), run when it is unloaded; an executable uses the universal
// CRT's, run by exit. Until UseModuleExitTable, atexit goes to the CRT's.
void UseModuleExitTable();
void RunModuleExitTable();

// Runs the C and C++ initialisers; false when a C initialiser failed.
bool RunInitialisers();

}  // namespace glyphwork_crt
