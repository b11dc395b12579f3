// Test-only program: holds files and folders open until it is ended.
//   hold_file.exe PIDFILE [--copies N] PATH...
// Opens every PATH in the order given (folders too) and holds N handles to
// each (default 1; the copies are duplicates, so they need no more file
// descriptors in the server), then writes its process id to PIDFILE and
// sleeps. Exits 3 when a path cannot be opened, before writing the process id.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>

#include "holding.h"

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  int first = 2;
  long copies = 1;
  if (argc > 4 && !wcscmp(argv[2], L"--copies")) {
    copies = std::wcstol(argv[3], nullptr, 10);
    first = 4;
  }
  for (int i = first; i < argc; ++i) {
    HANDLE h = testonly::openToHold(argv[i]);
    if (h == INVALID_HANDLE_VALUE) {
      std::fwprintf(stderr, L"cannot open %ls (%lu)\n", argv[i], GetLastError());
      return 3;
    }
    for (long c = 1; c < copies; ++c) {
      HANDLE copy = nullptr;
      if (!DuplicateHandle(GetCurrentProcess(), h, GetCurrentProcess(), &copy, 0, FALSE,
                           DUPLICATE_SAME_ACCESS)) {
        return 3;
      }
    }
  }
  return testonly::reportAndHold(argv[1], GetCurrentProcessId());
}
