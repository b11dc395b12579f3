// Test-only: what the holding programs share. They open what they are told
// to hold, then report a process id in a file that the test waits for, and
// sleep until they are ended. Header only.
#pragma once

#include <windows.h>

#include <cstdio>

namespace testonly {

// Opens a file or folder for reading, sharing reads, writes and deletes
// (backup semantics let the same call open a folder).
inline HANDLE openToHold(const wchar_t* path, SECURITY_ATTRIBUTES* attributes = nullptr) {
  return CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     attributes, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// Writes `pid` and a line end to `path`; false when the file cannot be written.
inline bool writeProcessId(const wchar_t* path, DWORD pid) {
  FILE* f = _wfopen(path, L"w");
  if (f == nullptr) return false;
  std::fprintf(f, "%lu\n", static_cast<unsigned long>(pid));
  std::fclose(f);
  return true;
}

// Reports `pid` in `path` and sleeps until the process is ended; returns 4
// at once when the file cannot be written.
inline int reportAndHold(const wchar_t* path, DWORD pid) {
  if (!writeProcessId(path, pid)) return 4;
  Sleep(INFINITE);
  return 0;
}

}  // namespace testonly
