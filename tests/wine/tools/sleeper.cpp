// Test-only program: writes its process id to a file, then sleeps.
//   sleeper.exe MILLISECONDS PIDFILE [EXITCODE]
// It ends with EXITCODE (default 7) when it wakes up by itself, so a test can
// tell a normal end from a termination with exit code 0.
#include <windows.h>

#include <cstdlib>

#include "holding.h"

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  DWORD ms = static_cast<DWORD>(_wtoi(argv[1]));
  int exitCode = argc > 3 ? _wtoi(argv[3]) : 7;
  if (!testonly::writeProcessId(argv[2], GetCurrentProcessId())) return 3;
  Sleep(ms);
  return exitCode;
}
