// Test-only program: takes a named mutex and ends without releasing it.
//   hold_mutex.exe NAME MILLISECONDS READYFILE
// Opens (or creates) the mutex, waits for it, creates READYFILE (a Windows
// path), sleeps, and exits still owning it: the mutex is then abandoned.
#include <windows.h>

#include <cstdlib>

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) return 2;
  HANDLE mutex = CreateMutexW(nullptr, FALSE, argv[1]);
  if (mutex == nullptr) return 3;
  DWORD result = WaitForSingleObject(mutex, 60000);
  if (result != WAIT_OBJECT_0 && result != WAIT_ABANDONED) return 4;
  HANDLE ready = CreateFileW(argv[3], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (ready == INVALID_HANDLE_VALUE) return 5;
  CloseHandle(ready);
  Sleep(static_cast<DWORD>(_wtoi(argv[2])));
  return 0;  // the process ends owning the mutex
}
