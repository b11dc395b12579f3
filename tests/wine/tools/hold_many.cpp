// Test-only program: a process with thousands of handles of many types, one
// of them a file on the drive, for the blocker search.
//   hold_many.exe STATUSFILE COUNT MAPPED FILE
// Creates COUNT events, semaphores and mutexes (a third each, some named),
// anonymous pipes, a named pipe with a connected client, named sections with
// views, a section on the file MAPPED (created when missing) whose file handle
// is closed again, so that only the mapping keeps it, then opens FILE last,
// so that a search that walks the table in order meets every other handle of
// the process first. Writes "pid N" and "handles N" (its entries in the system
// handle table) to STATUSFILE and sleeps. Exit 3: something could not be created.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>

#include "handle_count.h"

int wmain(int argc, wchar_t** argv) {
  if (argc < 5) return 2;
  const long count = std::wcstol(argv[2], nullptr, 10);
  const DWORD pid = GetCurrentProcessId();
  wchar_t name[128];
  for (long i = 0; i < count; ++i) {
    HANDLE h = nullptr;
    const bool named = i % 50 == 0;
    if (named)
      std::swprintf(name, 128, L"tarnwick-hold-%lu-%ld", static_cast<unsigned long>(pid), i);
    switch (i % 3) {
      case 0: h = CreateEventW(nullptr, TRUE, FALSE, named ? name : nullptr); break;
      case 1: h = CreateSemaphoreW(nullptr, 0, 10, named ? name : nullptr); break;
      default: h = CreateMutexW(nullptr, FALSE, named ? name : nullptr); break;
    }
    if (h == nullptr) return 3;
  }
  for (int i = 0; i < 16; ++i) {
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, nullptr, 0)) return 3;
  }
  std::swprintf(name, 128, L"\\\\.\\pipe\\tarnwick-hold-%lu", static_cast<unsigned long>(pid));
  HANDLE server = CreateNamedPipeW(name, PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096,
                                   4096, 0, nullptr);
  if (server == INVALID_HANDLE_VALUE) return 3;
  HANDLE client =
      CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (client == INVALID_HANDLE_VALUE) return 3;
  for (int i = 0; i < 16; ++i) {
    std::swprintf(name, 128, L"Local\\tarnwick-section-%lu-%d", static_cast<unsigned long>(pid), i);
    HANDLE section =
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 65536, name);
    if (section == nullptr || MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, 0) == nullptr) return 3;
  }
  HANDLE mapped = CreateFileW(argv[3], GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0, nullptr);
  if (mapped == INVALID_HANDLE_VALUE) return 3;
  HANDLE section = CreateFileMappingW(mapped, nullptr, PAGE_READWRITE, 0, 4096, nullptr);
  if (section == nullptr || MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, 0) == nullptr) return 3;
  CloseHandle(mapped);
  HANDLE file =
      CreateFileW(argv[4], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 3;

  const long handles = testonly::handleCount(pid);
  FILE* f = _wfopen(argv[1], L"w");
  if (f == nullptr) return 4;
  std::fprintf(f, "handles %ld\npid %lu\n", handles, static_cast<unsigned long>(pid));
  std::fclose(f);
  Sleep(INFINITE);
  return 0;
}
