// Test-only program: holds a desktop-like mix of handles until it is ended,
// for the blocker search's benchmark.
//   hold_mix.exe PIDFILE COUNT [--file PATH]... [--hold PATH]...
// Creates COUNT handles: about one in ten a file handle (duplicates of the
// --file PATHs, in turn, so that they need no more file descriptors in the
// server), the rest events, registry keys, sections, threads, mutexes and a
// few pipes. Then opens each --hold PATH (file or folder) once, last, writes
// its process id to PIDFILE and sleeps. Exits 3 when a path cannot be opened.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <vector>

#include "holding.h"

namespace {

HANDLE duplicate(HANDLE h) {
  HANDLE copy = nullptr;
  DuplicateHandle(GetCurrentProcess(), h, GetCurrentProcess(), &copy, 0, FALSE,
                  DUPLICATE_SAME_ACCESS);
  return copy;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  const long count = std::wcstol(argv[2], nullptr, 10);
  std::vector<HANDLE> files;
  std::vector<const wchar_t*> held;
  for (int i = 3; i + 1 < argc; i += 2) {
    if (!wcscmp(argv[i], L"--file")) {
      HANDLE h = testonly::openToHold(argv[i + 1]);
      if (h == INVALID_HANDLE_VALUE) return 3;
      files.push_back(h);
    } else if (!wcscmp(argv[i], L"--hold")) {
      held.push_back(argv[i + 1]);
    }
  }
  HANDLE thread = duplicate(GetCurrentThread());
  HANDLE section =
      CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, nullptr);
  for (long i = 0; i < count; ++i) {
    switch (i % 20) {
      case 0:
      case 10:
        if (!files.empty()) {
          duplicate(files[(i / 10) % files.size()]);
          break;
        }
        [[fallthrough]];
      case 1:
      case 5:
      case 9:
      case 13:
      case 17: CreateEventW(nullptr, FALSE, FALSE, nullptr); break;
      case 2:
      case 6:
      case 14:
      case 18: {
        HKEY key;
        RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, &key);
        break;
      }
      case 3:
      case 11: duplicate(section); break;
      case 4:
      case 12:
      case 16: duplicate(thread); break;
      case 7:
      case 15: CreateMutexW(nullptr, FALSE, nullptr); break;
      default:
        if (i % 500 == 19) {
          HANDLE r, w;
          CreatePipe(&r, &w, nullptr, 0);
        } else {
          CreateEventW(nullptr, TRUE, FALSE, nullptr);
        }
        break;
    }
  }
  for (const wchar_t* path : held) {
    if (testonly::openToHold(path) == INVALID_HANDLE_VALUE) {
      std::fwprintf(stderr, L"cannot open %ls (%lu)\n", path, GetLastError());
      return 3;
    }
  }
  return testonly::reportAndHold(argv[1], GetCurrentProcessId());
}
