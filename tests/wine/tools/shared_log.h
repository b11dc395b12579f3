// Test-only: appending a line to a log file that several processes of the
// prefix write at once. Header only.
#pragma once

#include <windows.h>

#include <cstddef>

namespace testonly {

// Appends `bytes` bytes to the file at `path`, creating it. Wine appends by
// reading the file's size and writing there, so two processes appending at
// once could overwrite each other's line: every writer takes one named mutex
// around its append (an owner that died leaves it abandoned, which is taken
// as well).
inline void appendSharedLine(const wchar_t* path, const char* data, size_t bytes) {
  HANDLE lock = CreateMutexW(nullptr, FALSE, L"TarnwickTestLogLock");
  const DWORD waited = lock != nullptr ? WaitForSingleObject(lock, 10000) : WAIT_FAILED;
  HANDLE file =
      CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    WriteFile(file, data, static_cast<DWORD>(bytes), &written, nullptr);
    CloseHandle(file);
  }
  if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) ReleaseMutex(lock);
  if (lock != nullptr) CloseHandle(lock);
}

}  // namespace testonly
