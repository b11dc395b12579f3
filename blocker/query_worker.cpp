#include "blocker/query_worker.h"

namespace tarnwick {
namespace {

enum class Outcome { Replied, Failed, Ignored, Quit };

Outcome serve(const WorkerMessage& m, HandleQueries& queries) {
  switch (m.message) {
    case kWorkerQuitMessage:
      return Outcome::Quit;
    case WM_WORKER_QUERY_HANDLES: {
      const uint32_t received = queries.tickCount();
      auto* slot = reinterpret_cast<HandleSnapshot*>(m.wParam);
      return takeHandleSnapshot(queries, *slot, received) ? Outcome::Replied : Outcome::Failed;
    }
    case WM_WORKER_QUERY_NAME:
      return nameFileHandle(queries, m.wParam, reinterpret_cast<char16_t*>(m.lParam))
                 ? Outcome::Replied
                 : Outcome::Failed;
    default:
      return Outcome::Ignored;
  }
}

}  // namespace

bool serveWorkerMessage(const WorkerMessage& message, const WorkerContext& context,
                        WorkerQueue& queue) {
  switch (serve(message, *context.queries)) {
    case Outcome::Quit:
      return false;
    case Outcome::Replied:
      // The answer is in place before the flag, and the flag before the signal.
      context.replied->store(1);
      queue.signalReady();
      break;
    case Outcome::Failed:
      queue.signalReady();
      break;
    case Outcome::Ignored:
      break;
  }
  return true;
}

void runWorkerLoop(WorkerQueue& queue, const WorkerContext& context) {
  queue.createQueue();
  queue.signalReady();
  for (;;) {
    WorkerMessage m{};
    if (!queue.takeMessage(m)) {
      queue.yield();
      continue;
    }
    if (!serveWorkerMessage(m, context, queue)) return;
  }
}

QueryWorker::QueryWorker(WorkerThread& threads, HandleQueries& queries)
    : threads_(threads), queries_(queries) {}

QueryWorker::~QueryWorker() { stopWorker(); }

bool QueryWorker::startWorker() {
  stopWorker();
  if (!threads_.createThread(WorkerContext{&queries_, &workerReplied})) return false;
  running_ = true;
  if (threads_.waitReady(kWorkerReadyLimitMs)) return true;
  stopWorker();
  return false;
}

void QueryWorker::stopWorker() {
  if (running_) {
    threads_.post(WorkerMessage{kWorkerQuitMessage, 0, 0});
    if (!threads_.waitThreadEnd(kWorkerGraceMs)) {
      threads_.terminateThread();
      // Termination takes effect asynchronously: wait until the thread has
      // really ended, so that it cannot write an answer or signal after the
      // reset below. A thread still stuck in the system after this wait runs
      // none of its own code again.
      threads_.waitThreadEnd(kWorkerGraceMs);
    }
    threads_.closeThread();
    running_ = false;
  }
  // A signal of a worker that answered too late must not be taken for the
  // answer to the next request.
  threads_.resetReady();
}

bool QueryWorker::request(const WorkerMessage& message, uint32_t limitMs) {
  if (!threads_.post(message)) {
    stopWorker();  // the worker's queue is gone: no answer will come
    return false;
  }
  if (!threads_.waitReady(limitMs)) stopWorker();
  return workerReplied.load() != 0;
}

bool QueryWorker::requestHandleSnapshot(HandleSnapshot& slot) {
  workerReplied.store(0);
  if (!running_) return false;  // this request never starts a worker
  return request(WorkerMessage{WM_WORKER_QUERY_HANDLES, reinterpret_cast<uintptr_t>(&slot), 0},
                 kSnapshotLimitMs);
}

bool QueryWorker::requestHandleName(uintptr_t handle, char16_t* name) {
  workerReplied.store(0);
  if (!running_ && !startWorker()) return false;
  return request(WorkerMessage{WM_WORKER_QUERY_NAME, handle, reinterpret_cast<uintptr_t>(name)},
                 kNameLimitMs);
}

void QueryWorker::releaseSnapshot(HandleSnapshot& slot) {
  if (slot.data != nullptr) queries_.releaseBlock(slot.data, slot.size);
  slot = HandleSnapshot{};
}

}  // namespace tarnwick
