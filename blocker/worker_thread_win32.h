// The worker thread of the handle query worker on Windows: one thread at a
// time, driven by thread messages, answering through one auto-reset event.
#pragma once

#include <windows.h>

#include "base/owners_win32.h"
#include "blocker/query_worker.h"

namespace tarnwick {

class WindowsWorkerThread : public WorkerThread {
 public:
  WindowsWorkerThread();  // creates the ready event
  WindowsWorkerThread(const WindowsWorkerThread&) = delete;
  WindowsWorkerThread& operator=(const WindowsWorkerThread&) = delete;

  bool createThread(const WorkerContext& context) override;
  bool waitReady(uint32_t limitMs) override;
  void resetReady() override;
  bool post(const WorkerMessage& message) override;
  bool waitThreadEnd(uint32_t limitMs) override;
  void terminateThread() override;
  void closeThread() override;
  uint32_t tickCount() override;

  UniqueHandle readyEvent;    // auto-reset, not signalled; null when it could not be created
  UniqueHandle workerThread;  // the running worker, if any
  DWORD workerThreadId = 0;   // destination of its thread messages; 0 when none
  // How a worker started from now on takes its messages: waiting for them,
  // or polling with zero-length sleeps.
  bool waitsForMessages = true;

 private:
  static DWORD WINAPI procedure(void* self);
  WorkerContext context_{};
};

}  // namespace tarnwick
