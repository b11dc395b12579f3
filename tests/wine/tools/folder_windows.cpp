// Test-only program: stands in for the folder windows of the shell. Creates
// one visible top-level window per argument and keeps them until they close.
//   folder_windows.exe HWND_FILE LOG_FILE KIND...
// KIND is "close" (closes on WM_CLOSE) or "ignore" (ignores WM_CLOSE).
// When every window exists, their handles are written to HWND_FILE, one per
// line in decimal, in the order of the arguments. Every WM_CLOSE that
// arrives is appended to LOG_FILE as "close <hwnd>". WM_APP destroys a
// window of either kind. The program ends when its last window is gone, or
// after two minutes.
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "shared_log.h"

namespace {

const wchar_t* logPath = nullptr;
int windowsLeft = 0;

void appendLog(HWND hwnd) {
  char line[64];
  int n = std::snprintf(line, sizeof line, "close %llu\n",
                        static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(hwnd)));
  testonly::appendSharedLine(logPath, line, static_cast<size_t>(n));
}

LRESULT CALLBACK windowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE:
      appendLog(hwnd);
      if (GetWindowLongPtrW(hwnd, GWLP_USERDATA) != 0) return 0;  // ignores it
      break;
    case WM_APP: DestroyWindow(hwnd); return 0;
    case WM_DESTROY:
      if (--windowsLeft == 0) PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) return 2;
  logPath = argv[2];
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSW cls = {};
  cls.lpfnWndProc = windowProcedure;
  cls.hInstance = instance;
  cls.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  cls.lpszClassName = L"TarnwickTestFolder";
  if (!RegisterClassW(&cls)) return 3;

  wchar_t handles[4096] = {};
  for (int i = 3; i < argc; ++i) {
    const bool ignores = wcscmp(argv[i], L"ignore") == 0;
    HWND hwnd = CreateWindowExW(0, cls.lpszClassName, argv[i], WS_OVERLAPPEDWINDOW, 40 * i, 30 * i,
                                320, 200, nullptr, nullptr, instance, nullptr);
    if (hwnd == nullptr) return 4;
    ++windowsLeft;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, ignores ? 1 : 0);
    ShowWindow(hwnd, SW_SHOWNOACTIVATE);
    wchar_t line[32];
    std::swprintf(line, 32, L"%llu\n",
                  static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(hwnd)));
    wcscat(handles, line);
  }

  // Written under another name and then renamed, so a reader sees all or nothing.
  wchar_t partial[MAX_PATH + 8];
  std::swprintf(partial, MAX_PATH + 8, L"%ls.part", argv[1]);
  HANDLE file = CreateFileW(partial, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 5;
  char bytes[4096];
  int n = WideCharToMultiByte(CP_UTF8, 0, handles, -1, bytes, sizeof bytes, nullptr, nullptr);
  DWORD written = 0;
  WriteFile(file, bytes, static_cast<DWORD>(n > 0 ? n - 1 : 0), &written, nullptr);
  CloseHandle(file);
  if (!MoveFileExW(partial, argv[1], MOVEFILE_REPLACE_EXISTING)) return 6;

  SetTimer(nullptr, 0, 120000, nullptr);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == WM_TIMER && msg.hwnd == nullptr) break;
    DispatchMessageW(&msg);
  }
  return 0;
}
