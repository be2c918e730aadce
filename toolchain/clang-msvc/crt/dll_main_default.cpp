// The DllMain of a DLL that defines none: the linker takes this one only
// when no object of the DLL defines its own.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
