// The blocker finder on Windows: it builds the handle query worker with its
// thread and the walk's platform, and hands them to the portable search.
#pragma once

#include <windows.h>

#include "base/system_api_win32.h"
#include "blocker/blocker_search.h"
#include "blocker/handle_queries_win32.h"
#include "blocker/query_worker.h"
#include "blocker/worker_thread_win32.h"

namespace tarnwick {

// The walk's operations with the real process, handle and file calls.
class WindowsSearchPlatform : public SearchPlatform {
 public:
  explicit WindowsSearchPlatform(const SystemApi* api) : api_(api) {}
  bool queryDosDevice(const char16_t* dosName, char16_t* target) override;
  uintptr_t openProcess(uint32_t processId) override;
  bool readExecutablePath(uintptr_t process, char16_t* path) override;
  bool readImageName(uintptr_t process, char16_t* path) override;
  uint64_t processStartTime(uintptr_t process) override;
  bool visitModules(uintptr_t process, ModuleVisitor& visitor) override;
  uintptr_t duplicateHandle(uintptr_t process, uint64_t handleValue) override;
  void closeHandle(uintptr_t handle) override;
  uint32_t fileAttributes(const char16_t* path) override;

 private:
  const SystemApi* api_;
};

// Its searches (findBlocker) find nothing, with the findings unchanged, when
// the native entry points or the worker's event are missing. A search blocks
// the calling thread; the worker thread exists only meanwhile.
class WindowsBlockerFinder final : public BlockerFinder {
 public:
  WindowsBlockerFinder();
  ~WindowsBlockerFinder() override;

  // The worker's protocol, for the search and for tests.
  bool startWorker() { return worker_.startWorker(); }
  void stopWorker() { worker_.stopWorker(); }
  bool requestHandleSnapshot(HandleSnapshot& slot) { return worker_.requestHandleSnapshot(slot); }
  bool requestHandleName(HANDLE handle, char16_t* name) {
    return worker_.requestHandleName(reinterpret_cast<uintptr_t>(handle), name);
  }
  void askHandleNames(NameBatch& batch) { worker_.askHandleNames(batch); }
  void releaseSnapshot(HandleSnapshot& slot) { worker_.releaseSnapshot(slot); }
  // How workers started from now on take their messages (see WindowsWorkerThread).
  void setWorkerWaitsForMessages(bool waits) { thread_.waitsForMessages = waits; }

  // The process's table of loaded entry points; null when it lacks what the search needs.
  const SystemApi* const api;

 private:
  WindowsWorkerThread thread_;
  WindowsHandleQueries queries_;
  QueryWorker worker_;
  WindowsSearchPlatform platform_;
};

}  // namespace tarnwick
