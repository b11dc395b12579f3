#include "blocker/worker_thread_win32.h"

namespace tarnwick {
namespace {

// The worker's own queue: polled with zero-length sleeps, or waited on.
class ThreadQueue : public WorkerQueue {
 public:
  ThreadQueue(HANDLE readyEvent, bool waits) : ready_(readyEvent), waits_(waits) {}
  void createQueue() override {
    MSG msg;
    ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
  }
  bool takeMessage(WorkerMessage& message) override {
    MSG msg;
    // GetMessageW fills in WM_QUIT too (and returns 0 for it); -1 leaves nothing.
    if (waits_ ? ::GetMessageW(&msg, nullptr, 0, 0) == -1
               : !::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      return false;
    }
    message = WorkerMessage{msg.message, msg.wParam, static_cast<uintptr_t>(msg.lParam)};
    return true;
  }
  void yield() override { ::Sleep(0); }
  void signalReady() override { ::SetEvent(ready_); }

 private:
  HANDLE ready_;
  bool waits_;
};

}  // namespace

WindowsWorkerThread::WindowsWorkerThread()
    : readyEvent(::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

DWORD WINAPI WindowsWorkerThread::procedure(void* self) {
  auto* owner = static_cast<WindowsWorkerThread*>(self);
  ThreadQueue queue(owner->readyEvent.get(), owner->waitsForMessages);
  runWorkerLoop(queue, owner->context_);
  return 0;
}

bool WindowsWorkerThread::createThread(const WorkerContext& context) {
  if (!readyEvent) return false;
  context_ = context;
  DWORD id = 0;
  workerThread.reset(::CreateThread(nullptr, 0, &WindowsWorkerThread::procedure, this, 0, &id));
  workerThreadId = workerThread ? id : 0;
  return static_cast<bool>(workerThread);
}

bool WindowsWorkerThread::waitReady(uint32_t limitMs) {
  return readyEvent && ::WaitForSingleObject(readyEvent.get(), limitMs) == WAIT_OBJECT_0;
}

void WindowsWorkerThread::resetReady() {
  if (readyEvent) ::ResetEvent(readyEvent.get());
}

bool WindowsWorkerThread::post(const WorkerMessage& message) {
  return workerThreadId != 0 &&
         ::PostThreadMessageW(workerThreadId, message.message, message.wParam,
                              static_cast<LPARAM>(message.lParam)) != 0;
}

bool WindowsWorkerThread::waitThreadEnd(uint32_t limitMs) {
  return !workerThread || ::WaitForSingleObject(workerThread.get(), limitMs) == WAIT_OBJECT_0;
}

void WindowsWorkerThread::terminateThread() {
  if (workerThread) ::TerminateThread(workerThread.get(), 0);
}

uint32_t WindowsWorkerThread::tickCount() { return ::GetTickCount(); }

void WindowsWorkerThread::closeThread() {
  workerThread.reset();
  workerThreadId = 0;
}

}  // namespace tarnwick
