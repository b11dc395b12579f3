// The banner's blocker finder: the handle query worker with its thread, and
// the findings of the last search (see BlockerFindings).
#pragma once

#include <windows.h>

#include "blocker/blocker_search.h"
#include "blocker/handle_queries_win32.h"
#include "blocker/native_api_win32.h"
#include "blocker/query_worker.h"
#include "blocker/worker_thread_win32.h"

namespace tarnwick {

// The walk's operations with the real process, handle and file calls.
class Win32SearchPlatform : public SearchPlatform {
 public:
  explicit Win32SearchPlatform(const NativeApi* api) : api_(api) {}
  bool queryDosDevice(const char16_t* dosName, char16_t* target) override;
  uintptr_t openProcess(uint32_t processId) override;
  bool readExecutablePath(uintptr_t process, char16_t* path) override;
  uintptr_t duplicateHandle(uintptr_t process, uint64_t handleValue) override;
  void closeHandle(uintptr_t handle) override;
  uint32_t fileAttributes(const char16_t* path) override;

 private:
  const NativeApi* api_;
};

class BlockerFinder : public BlockerFindings {
 public:
  BlockerFinder();
  ~BlockerFinder();
  BlockerFinder(const BlockerFinder&) = delete;
  BlockerFinder& operator=(const BlockerFinder&) = delete;

  // Finds the process that keeps the drive busy; false, with nothing changed,
  // when the native entry points are missing. Blocks the calling thread for
  // the search; the worker thread exists only meanwhile.
  bool findBlocker(char16_t driveLetter);

  // The worker's protocol, for the search and for tests.
  bool startWorker() { return worker_.startWorker(); }
  void stopWorker() { worker_.stopWorker(); }
  bool requestHandleSnapshot(HandleSnapshot& slot) { return worker_.requestHandleSnapshot(slot); }
  bool requestHandleName(HANDLE handle, char16_t* name) {
    return worker_.requestHandleName(reinterpret_cast<uintptr_t>(handle), name);
  }
  void releaseSnapshot(HandleSnapshot& slot) { worker_.releaseSnapshot(slot); }

  // Owned; null when the entry points are not all there.
  NativeApi* const nativeApi;

 private:
  Win32WorkerThread thread_;
  NtHandleQueries queries_;
  QueryWorker worker_;
  Win32SearchPlatform platform_;
};

}  // namespace tarnwick
