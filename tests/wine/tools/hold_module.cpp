// Test-only program: keeps DLLs loaded until it is ended.
//   hold_module.exe PIDFILE DLLPATH...
// Loads every DLLPATH (and holds no file handle of its own on them), writes
// its process id to PIDFILE and sleeps. Exits 3 when a DLL cannot be loaded.
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "holding.h"

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  for (int i = 2; i < argc; ++i) {
    if (LoadLibraryW(argv[i]) == nullptr) {
      std::fwprintf(stderr, L"cannot load %ls (%lu)\n", argv[i], GetLastError());
      return 3;
    }
  }
  return testonly::reportAndHold(argv[1], GetCurrentProcessId());
}
