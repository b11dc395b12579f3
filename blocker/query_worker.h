// The handle query worker: a disposable thread that answers requests for a
// handle snapshot and for handle names, and the requester's side of the
// protocol. The requester waits for every answer with a limit; a worker that
// does not answer in time is ended (by WM_QUIT, or terminated after a grace
// period) and a fresh one is started for the next name.
#pragma once

#include <atomic>
#include <cstdint>

#include "blocker/blocker_search.h"
#include "blocker/handle_queries.h"

namespace tarnwick {

// Thread messages of the worker.
constexpr uint32_t WM_WORKER_QUERY_NAME = 0x8001;     // wParam handle, lParam name buffer
constexpr uint32_t WM_WORKER_QUERY_HANDLES = 0x8002;  // wParam snapshot slot
constexpr uint32_t WM_WORKER_QUERY_NAMES = 0x8003;    // wParam name batch
constexpr uint32_t kWorkerQuitMessage = 0x12;         // WM_QUIT

// Limits of the protocol, in milliseconds.
constexpr uint32_t kWorkerReadyLimitMs = 1000;
constexpr uint32_t kSnapshotLimitMs = 1000;
constexpr uint32_t kNameLimitMs = 100;
constexpr uint32_t kWorkerGraceMs = 100;

struct WorkerMessage {
  uint32_t message;
  uintptr_t wParam;
  uintptr_t lParam;
};

// The worker thread's queue and the ready event, as the worker sees them.
class WorkerQueue {
 public:
  virtual ~WorkerQueue() = default;
  virtual void createQueue() = 0;  // so that requests posted from now on arrive
  virtual bool takeMessage(WorkerMessage& message) = 0;  // false when none is waiting
  virtual void yield() = 0;                              // give up the rest of the time slice
  virtual void signalReady() = 0;
};

// What a worker thread needs: its queries and the flag it sets on success.
struct WorkerContext {
  HandleQueries* queries;
  std::atomic<uint32_t>* replied;
};

// Serves one message on the worker: a request ends with exactly one signal
// (after the answer and the replied flag are in place), other messages with
// none. False for the quit message.
bool serveWorkerMessage(const WorkerMessage& message, const WorkerContext& context,
                        WorkerQueue& queue);

// The worker thread's body: takes its messages as the queue gives them
// (polling, yielding while none is there, or waiting for one) and answers
// each request with exactly one signal. Returns on the quit message.
void runWorkerLoop(WorkerQueue& queue, const WorkerContext& context);

// The requester's thread and event primitives for one worker at a time.
class WorkerThread {
 public:
  virtual ~WorkerThread() = default;
  // Starts a thread that runs runWorkerLoop with `context`; false when none was created.
  virtual bool createThread(const WorkerContext& context) = 0;
  virtual bool waitReady(uint32_t limitMs) = 0;  // true when the ready event was signalled
  virtual void resetReady() = 0;
  virtual bool post(const WorkerMessage& message) = 0;
  virtual bool waitThreadEnd(uint32_t limitMs) = 0;  // true when the thread has ended
  virtual void terminateThread() = 0;
  virtual void closeThread() = 0;  // forget the thread
  // Milliseconds of the clock that the worker's queries read too.
  virtual uint32_t tickCount() = 0;
};

class QueryWorker : public BlockerWorker {
 public:
  QueryWorker(WorkerThread& threads, HandleQueries& queries);
  ~QueryWorker() override;
  QueryWorker(const QueryWorker&) = delete;
  QueryWorker& operator=(const QueryWorker&) = delete;

  bool startWorker() override;
  void stopWorker() override;
  bool requestHandleSnapshot(HandleSnapshot& slot) override;
  NameAnswer askHandleName(uintptr_t handle, char16_t* name) override;
  void beginHandleNames(NameBatch& batch) override;
  void finishHandleNames(NameBatch& batch) override;
  // Both at once.
  void askHandleNames(NameBatch& batch) {
    beginHandleNames(batch);
    finishHandleNames(batch);
  }
  void releaseSnapshot(HandleSnapshot& slot) override;
  uint32_t tickCount() override { return threads_.tickCount(); }
  void limitWaitsTo(uint32_t deadlineTick) override;
  void removeWaitLimit() override { limited_ = false; }

  // One name request: true when the handle was named.
  bool requestHandleName(uintptr_t handle, char16_t* name) {
    return askHandleName(handle, name) == NameAnswer::Named;
  }

  bool workerRunning() const { return running_; }

  // Cleared before each request; set by the worker when the request succeeded.
  std::atomic<uint32_t> workerReplied{0};

 private:
  // Posts and waits; false when the wait ran out (the worker is then stopped).
  bool request(const WorkerMessage& message, uint32_t limitMs);
  // `limitMs` shortened to the wait limit, if there is one; `cut` tells
  // whether it was shortened.
  uint32_t clipped(uint32_t limitMs, bool& cut);
  bool pastLimit();
  // Waits for the worker to answer the batch from handle `from` on; returns
  // the handle to go on from with a fresh worker (count when all are answered).
  uint32_t awaitBatch(NameBatch& batch, uint32_t from);
  // Hands the batch from handle `next` on to a worker, starting one if need
  // be. Returns `next` once it is in the worker's hands (posted_ then names
  // the batch); otherwise the handle to try next, count when the rest could
  // not be asked at all.
  uint32_t postBatch(NameBatch& batch, uint32_t next);

  WorkerThread& threads_;
  HandleQueries& queries_;
  bool running_ = false;
  bool limited_ = false;
  uint32_t deadline_ = 0;
  NameBatch* posted_ = nullptr;  // the batch a worker has in hand
};

}  // namespace tarnwick
