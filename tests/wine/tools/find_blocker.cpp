// Test-only program: runs the program's blocker search for one drive and
// prints what it found, one "key value" line each (UTF-8).
//   find_blocker.exe LETTER [PATH...]
// The PATHs are opened by this process first, so that a test can check that
// the search examines its own process like any other.
#include <windows.h>

#include <cstdio>

#include "base/text_win32.h"
#include "blocker/blocker_finder_win32.h"

namespace {

void printText(const char* key, const char16_t* text) {
  char utf8[1024] = {};
  WideCharToMultiByte(CP_UTF8, 0, tarnwick::wide(text), -1, utf8, sizeof utf8, nullptr, nullptr);
  std::printf("%s %s\n", key, utf8);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  for (int i = 2; i < argc; ++i) {
    HANDLE h =
        CreateFileW(argv[i], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return 3;
  }
  tarnwick::WindowsBlockerFinder finder;
  if (finder.api == nullptr) return 4;
  const bool found = finder.findBlocker(static_cast<char16_t>(argv[1][0]));
  std::printf("found %d\n", found ? 1 : 0);
  std::printf("self %lu\n", static_cast<unsigned long>(GetCurrentProcessId()));
  std::printf("pid %lu\n", static_cast<unsigned long>(finder.findings.holderPid));
  std::printf("runs %d\n", finder.findings.runsFromDrive ? 1 : 0);
  std::printf("holds %d\n", finder.findings.holdsOpenItem ? 1 : 0);
  printText("image", finder.findings.holderImage);
  printText("path", finder.findings.openPath);
  return 0;
}
