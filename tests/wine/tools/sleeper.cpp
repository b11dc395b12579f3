// Test-only program: writes its process id to a file, then sleeps.
//   sleeper.exe MILLISECONDS PIDFILE [EXITCODE]
// It ends with EXITCODE (default 7) when it wakes up by itself, so a test can
// tell a normal end from a termination with exit code 0.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  DWORD ms = static_cast<DWORD>(_wtoi(argv[1]));
  int exitCode = argc > 3 ? _wtoi(argv[3]) : 7;
  FILE* f = _wfopen(argv[2], L"w");
  if (f == nullptr) return 3;
  std::fprintf(f, "%lu\n", static_cast<unsigned long>(GetCurrentProcessId()));
  std::fclose(f);
  Sleep(ms);
  return exitCode;
}
