// Test-only program: keeps DLLs loaded until it is ended.
//   hold_module.exe PIDFILE DLLPATH...
// Loads every DLLPATH (and holds no file handle of its own on them), writes
// its process id to PIDFILE and sleeps. Exits 3 when a DLL cannot be loaded.
#include <windows.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  for (int i = 2; i < argc; ++i) {
    if (LoadLibraryW(argv[i]) == nullptr) {
      std::fwprintf(stderr, L"cannot load %ls (%lu)\n", argv[i], GetLastError());
      return 3;
    }
  }
  FILE* f = _wfopen(argv[1], L"w");
  if (f == nullptr) return 4;
  std::fprintf(f, "%lu\n", static_cast<unsigned long>(GetCurrentProcessId()));
  std::fclose(f);
  Sleep(INFINITE);
  return 0;
}
