// Test-only program: leaves a child holding files open while it is
// suspended, before its loader has run, so that its module list cannot be
// read yet.
//   hold_suspended.exe PIDFILE PROGRAM PATH...
// Opens every PATH (folders too) as inheritable handles, starts PROGRAM
// suspended so that it inherits them, closes its own, writes the child's
// process id to PIDFILE and sleeps. The child is ended with the prefix's
// processes. Exits 3 when a path cannot be opened or PROGRAM started.
#include <windows.h>

#include <string>

#include "holding.h"

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE handles[16];
  int opened = 0;
  for (int i = 3; i < argc && opened < 16; ++i) {
    HANDLE h = testonly::openToHold(argv[i], &inherit);
    if (h == INVALID_HANDLE_VALUE) return 3;
    handles[opened++] = h;
  }
  std::wstring command = L"\"" + std::wstring(argv[2]) + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child = {};
  if (!CreateProcessW(argv[2], &command[0], nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr,
                      nullptr, &startup, &child)) {
    return 3;
  }
  for (int i = 0; i < opened; ++i) CloseHandle(handles[i]);
  return testonly::reportAndHold(argv[1], child.dwProcessId);
}
