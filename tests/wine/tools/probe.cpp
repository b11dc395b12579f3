// Test-only program: answers questions about named objects, processes and
// windows from inside Wine, for the whole-program tests.
//   probe.exe mutex NAME        exit 0 when a mutex of that name exists
//   probe.exe event NAME        exit 0 when an event of that name exists
//   probe.exe signalled NAME    exit 0 when that event exists and is signalled (resets it)
//   probe.exe alive PID         exit 0 when the process runs
//   probe.exe pids EXENAME      prints the ids of processes with that file name
//   probe.exe windows PID       prints "hwnd class visible" per top-level window of the process
//   probe.exe post HWND MSG WPARAM LPARAM   posts a message (numbers in decimal or 0x hex)
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
    std::wprintf(L"%llu %ls %d\n", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(hwnd)),
                 cls, IsWindowVisible(hwnd) ? 1 : 0);
  }
  return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
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
               ? 0 : 1;
  }
  if (!wcscmp(verb, L"spawn") && argc >= 4) {
    HANDLE file = CreateFileW(argv[3], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                              nullptr);
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
    if (WaitForSingleObject(pi.hProcess, 120000) == WAIT_OBJECT_0) GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    std::free(line);
    return static_cast<int>(code);
  }
  return 2;
}
