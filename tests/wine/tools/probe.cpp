// Test-only program: answers questions about named objects, processes and
// windows from inside Wine, for the whole-program tests.
//   probe.exe mutex NAME        exit 0 when a mutex of that name exists
//   probe.exe event NAME        exit 0 when an event of that name exists
//   probe.exe signalled NAME    exit 0 when that event exists and is signalled (resets it)
//   probe.exe alive PID         exit 0 when the process runs
//   probe.exe pids EXENAME      prints the ids of processes with that file name
//   probe.exe windows PID       prints "hwnd class visible" per top-level window of the process
//   probe.exe post HWND MSG WPARAM LPARAM   posts a message (numbers in decimal or 0x hex)
//   probe.exe send HWND MSG WPARAM LPARAM   sends a message (waits up to 120 s), prints the result
//   probe.exe banners           prints "hwnd pid left top right bottom visible" per banner window
//   probe.exe boxes PID         per message box of the process: "box HWND OWNER", then
//                               "caption TEXT" and "text TEXT" per static text (UTF-8)
//   probe.exe abandon NAME      takes the mutex NAME and exits holding it (it is abandoned)
//   probe.exe take NAME         waits 0 ms for the mutex NAME: prints "owned", "abandoned"
//                               or "busy" (releases what it got); exit 1 when it does not exist
//   probe.exe spawn PROGRAM CMDFILE   starts PROGRAM with the exact command line held in
//                                     CMDFILE (UTF-16LE, no BOM), waits up to 120 s and
//                                     exits with its exit code (99 when it cannot start)
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cwchar>
#include <cstdlib>

namespace {

unsigned long long number(const wchar_t* text) { return std::wcstoull(text, nullptr, 0); }

BOOL CALLBACK listWindow(HWND hwnd, LPARAM pid) {
  DWORD owner = 0;
  GetWindowThreadProcessId(hwnd, &owner);
  if (owner == static_cast<DWORD>(pid)) {
    wchar_t cls[256] = {};
    GetClassNameW(hwnd, cls, 256);
    std::wprintf(L"%llu %ls %d\n",
                 static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(hwnd)), cls,
                 IsWindowVisible(hwnd) ? 1 : 0);
  }
  return TRUE;
}

void printUtf8(const char* key, const wchar_t* text) {
  char buffer[2048] = {};
  WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, sizeof buffer - 1, nullptr, nullptr);
  std::printf("%s %s\n", key, buffer);
}

BOOL CALLBACK listBanner(HWND hwnd, LPARAM) {
  wchar_t cls[64] = {};
  GetClassNameW(hwnd, cls, 64);
  if (wcscmp(cls, L"ShadeWin") != 0) return TRUE;
  DWORD owner = 0;
  GetWindowThreadProcessId(hwnd, &owner);
  RECT r = {};
  GetWindowRect(hwnd, &r);
  std::printf("%llu %lu %ld %ld %ld %ld %d\n",
              static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(hwnd)), owner, r.left,
              r.top, r.right, r.bottom, IsWindowVisible(hwnd) ? 1 : 0);
  return TRUE;
}

BOOL CALLBACK listStatic(HWND child, LPARAM) {
  wchar_t cls[64] = {};
  GetClassNameW(child, cls, 64);
  if (_wcsicmp(cls, L"Static") != 0) return TRUE;
  wchar_t text[1024] = {};
  if (GetWindowTextW(child, text, 1024) > 0) printUtf8("text", text);
  return TRUE;
}

BOOL CALLBACK listBox(HWND hwnd, LPARAM pid) {
  DWORD owner = 0;
  GetWindowThreadProcessId(hwnd, &owner);
  wchar_t cls[64] = {};
  GetClassNameW(hwnd, cls, 64);
  if (owner != static_cast<DWORD>(pid) || wcscmp(cls, L"#32770") != 0) return TRUE;
  std::printf(
      "box %llu %llu\n", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(hwnd)),
      static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(GetWindow(hwnd, GW_OWNER))));
  wchar_t caption[256] = {};
  GetWindowTextW(hwnd, caption, 256);
  printUtf8("caption", caption);
  EnumChildWindows(hwnd, listStatic, 0);
  return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  if (argc < 3 && wcscmp(argv[1], L"banners") != 0) return 2;
  const wchar_t* verb = argv[1];
  if (!wcscmp(verb, L"mutex")) {
    HANDLE h = OpenMutexW(SYNCHRONIZE, FALSE, argv[2]);
    if (h == nullptr) return 1;
    CloseHandle(h);
    return 0;
  }
  if (!wcscmp(verb, L"event") || !wcscmp(verb, L"signalled")) {
    HANDLE h = OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, argv[2]);
    if (h == nullptr) return 1;
    int rc = 0;
    if (!wcscmp(verb, L"signalled")) rc = WaitForSingleObject(h, 0) == WAIT_OBJECT_0 ? 0 : 1;
    CloseHandle(h);
    return rc;
  }
  if (!wcscmp(verb, L"alive")) {
    HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(number(argv[2])));
    if (h == nullptr) return 1;
    int rc = WaitForSingleObject(h, 0) == WAIT_TIMEOUT ? 0 : 1;
    CloseHandle(h);
    return rc;
  }
  if (!wcscmp(verb, L"pids")) {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return 1;
    PROCESSENTRY32W e = {};
    e.dwSize = sizeof e;
    for (BOOL ok = Process32FirstW(snap, &e); ok; ok = Process32NextW(snap, &e)) {
      if (!_wcsicmp(e.szExeFile, argv[2])) std::wprintf(L"%lu\n", e.th32ProcessID);
    }
    CloseHandle(snap);
    return 0;
  }
  if (!wcscmp(verb, L"windows")) {
    EnumWindows(listWindow, static_cast<LPARAM>(number(argv[2])));
    return 0;
  }
  if (!wcscmp(verb, L"post") && argc >= 6) {
    HWND hwnd = reinterpret_cast<HWND>(static_cast<UINT_PTR>(number(argv[2])));
    return PostMessageW(hwnd, static_cast<UINT>(number(argv[3])),
                        static_cast<WPARAM>(number(argv[4])), static_cast<LPARAM>(number(argv[5])))
               ? 0
               : 1;
  }
  if (!wcscmp(verb, L"send") && argc >= 6) {
    HWND hwnd = reinterpret_cast<HWND>(static_cast<UINT_PTR>(number(argv[2])));
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(hwnd, static_cast<UINT>(number(argv[3])),
                             static_cast<WPARAM>(number(argv[4])),
                             static_cast<LPARAM>(number(argv[5])), SMTO_NORMAL, 120000, &result)) {
      return 1;
    }
    std::printf("result %llu\n", static_cast<unsigned long long>(result));
    return 0;
  }
  if (!wcscmp(verb, L"banners")) {
    EnumWindows(listBanner, 0);
    return 0;
  }
  if (!wcscmp(verb, L"boxes")) {
    EnumWindows(listBox, static_cast<LPARAM>(number(argv[2])));
    return 0;
  }
  if (!wcscmp(verb, L"abandon")) {
    HANDLE h = CreateMutexW(nullptr, FALSE, argv[2]);
    if (h == nullptr) return 1;
    return WaitForSingleObject(h, 10000) == WAIT_OBJECT_0 ? 0 : 1;  // ends holding it
  }
  if (!wcscmp(verb, L"take")) {
    HANDLE h = OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, argv[2]);
    if (h == nullptr) return 1;
    const DWORD r = WaitForSingleObject(h, 0);
    std::printf("%s\n", r == WAIT_OBJECT_0 ? "owned" : r == WAIT_ABANDONED ? "abandoned" : "busy");
    if (r == WAIT_OBJECT_0 || r == WAIT_ABANDONED) ReleaseMutex(h);
    CloseHandle(h);
    return 0;
  }
  if (!wcscmp(verb, L"spawn") && argc >= 4) {
    HANDLE file =
        CreateFileW(argv[3], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 99;
    DWORD size = GetFileSize(file, nullptr);
    wchar_t* line = static_cast<wchar_t*>(std::calloc(size / 2 + 1, sizeof(wchar_t)));
    DWORD read = 0;
    ReadFile(file, line, size, &read, nullptr);
    CloseHandle(file);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(argv[2], line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
      return 99;
    DWORD code = 98;
    if (WaitForSingleObject(pi.hProcess, 120000) == WAIT_OBJECT_0)
      GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    std::free(line);
    return static_cast<int>(code);
  }
  return 2;
}
