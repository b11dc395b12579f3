// Test-only program: lists and ends processes from inside Wine.
//   processes.exe list          prints "pid parent name" per process (UTF-8)
//   processes.exe kill PID      ends the process with exit code 1, as a user's
//                               task manager would; exit 0 when it was ended
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cwchar>
#include <cstdlib>

namespace {

int list() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 1;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more;
       more = Process32NextW(snapshot, &entry)) {
    char name[MAX_PATH * 3] = {};
    WideCharToMultiByte(CP_UTF8, 0, entry.szExeFile, -1, name, sizeof name - 1, nullptr, nullptr);
    std::printf("%lu %lu %s\n", static_cast<unsigned long>(entry.th32ProcessID),
                static_cast<unsigned long>(entry.th32ParentProcessID), name);
  }
  CloseHandle(snapshot);
  return 0;
}

int kill(DWORD pid) {
  HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
  if (process == nullptr) return 1;
  const BOOL ended =
      TerminateProcess(process, 1) && WaitForSingleObject(process, 30000) == WAIT_OBJECT_0;
  CloseHandle(process);
  return ended ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc >= 2 && !wcscmp(argv[1], L"list")) return list();
  if (argc >= 3 && !wcscmp(argv[1], L"kill")) return kill(std::wcstoul(argv[2], nullptr, 0));
  return 2;
}
