// Test-only program: runs the program's Explorer window release once, from
// a thread in a single-threaded apartment as the banner does, and shows that
// the caller goes on afterwards.
//   explorer_release.exe LETTER move|close
// Prints "elapsed <ms>" (the time the call took), then "went on" once the
// caller has allocated memory, created and destroyed a window and made a COM
// string after the call.
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <cstring>
#include <cwchar>

#include "base/com_apartment_win32.h"
#include "shell/explorer_release_win32.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 2;
  const char16_t letter = static_cast<char16_t>(argv[1][0]);
  const bool close = wcscmp(argv[2], L"close") == 0;
  tarnwick::ComApartment apartment;

  const DWORD start = GetTickCount();
  tarnwick::WindowsExplorerReleasePlatform thread;
  tarnwick::releaseExplorerWindows(letter, close, thread);
  const DWORD elapsed = GetTickCount() - start;
  std::printf("elapsed %lu\n", static_cast<unsigned long>(elapsed));
  std::fflush(stdout);

  char* block = new char[1 << 20];
  std::memset(block, 1, 1 << 20);
  HWND hwnd = CreateWindowExW(0, L"STATIC", L"after", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
  BSTR text = SysAllocString(L"after the release");
  const bool ok = block[12345] == 1 && hwnd != nullptr && text != nullptr;
  SysFreeString(text);
  if (hwnd) DestroyWindow(hwnd);
  delete[] block;
  if (!ok) return 3;
  std::printf("went on\n");
  std::fflush(stdout);
  return 0;
}
