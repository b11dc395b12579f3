// Test-only DLL that does nothing: a program loads it from the drive so that
// the blocker search finds the program by its module.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
