#include "blocker/query_worker.h"

namespace tarnwick {
namespace {

enum class Outcome { Replied, Failed, Answered, Ignored, Quit };

Outcome serve(const WorkerMessage& m, HandleQueries& queries) {
  switch (m.message) {
    case kWorkerQuitMessage: return Outcome::Quit;
    case WM_WORKER_QUERY_HANDLES: {
      const uint32_t received = queries.tickCount();
      auto* slot = reinterpret_cast<HandleSnapshot*>(m.wParam);
      return takeHandleSnapshot(queries, *slot, received) ? Outcome::Replied : Outcome::Failed;
    }
    case WM_WORKER_QUERY_NAME:
      return nameFileHandle(queries, m.wParam, reinterpret_cast<char16_t*>(m.lParam))
                 ? Outcome::Replied
                 : Outcome::Failed;
    case WM_WORKER_QUERY_NAMES: {
      // Each answer is in the batch; the signal says that all of them are.
      auto* batch = reinterpret_cast<NameBatch*>(m.wParam);
      for (uint32_t i = batch->first; i < batch->count; ++i) {
        beginBatchItem(*batch, i, queries.tickCount());
        finishBatchItem(queries, *batch, i);
      }
      return Outcome::Answered;
    }
    default: return Outcome::Ignored;
  }
}

}  // namespace

bool serveWorkerMessage(const WorkerMessage& message, const WorkerContext& context,
                        WorkerQueue& queue) {
  switch (serve(message, *context.queries)) {
    case Outcome::Quit: return false;
    case Outcome::Replied:
      // The answer is in place before the flag, and the flag before the signal.
      context.replied->store(1);
      queue.signalReady();
      break;
    case Outcome::Failed:
    case Outcome::Answered: queue.signalReady(); break;
    case Outcome::Ignored: break;
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
  if (pastLimit()) return false;
  if (!threads_.createThread(WorkerContext{&queries_, &workerReplied})) return false;
  running_ = true;
  bool cut = false;
  if (threads_.waitReady(clipped(kWorkerReadyLimitMs, cut))) return true;
  stopWorker();
  return false;
}

void QueryWorker::limitWaitsTo(uint32_t deadlineTick) {
  limited_ = true;
  deadline_ = deadlineTick;
}

bool QueryWorker::pastLimit() {
  return limited_ && static_cast<int32_t>(threads_.tickCount() - deadline_) >= 0;
}

uint32_t QueryWorker::clipped(uint32_t limitMs, bool& cut) {
  cut = false;
  if (!limited_) return limitMs;
  const int32_t left = static_cast<int32_t>(deadline_ - threads_.tickCount());
  if (left <= 0) {
    cut = true;
    return 0;
  }
  if (static_cast<uint32_t>(left) < limitMs) {
    cut = true;
    return static_cast<uint32_t>(left);
  }
  return limitMs;
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
  if (threads_.waitReady(limitMs)) return true;
  stopWorker();
  return false;
}

bool QueryWorker::requestHandleSnapshot(HandleSnapshot& slot) {
  workerReplied.store(0);
  if (!running_) return false;  // this request never starts a worker
  bool cut = false;
  request(WorkerMessage{WM_WORKER_QUERY_HANDLES, reinterpret_cast<uintptr_t>(&slot), 0},
          clipped(kSnapshotLimitMs, cut));
  return workerReplied.load() != 0;
}

NameAnswer QueryWorker::askHandleName(uintptr_t handle, char16_t* name) {
  workerReplied.store(0);
  if (pastLimit()) return NameAnswer::Unasked;
  if (!running_ && !startWorker()) return pastLimit() ? NameAnswer::Unasked : NameAnswer::NoWorker;
  bool cut = false;
  const uint32_t limit = clipped(kNameLimitMs, cut);
  if (request(WorkerMessage{WM_WORKER_QUERY_NAME, handle, reinterpret_cast<uintptr_t>(name)},
              limit)) {
    return workerReplied.load() != 0 ? NameAnswer::Named : NameAnswer::Unreadable;
  }
  if (workerReplied.load() != 0) return NameAnswer::Named;  // answered within the grace
  return cut ? NameAnswer::Unasked : NameAnswer::Hung;
}

void QueryWorker::beginHandleNames(NameBatch& batch) {
  for (uint32_t i = 0; i < batch.count; ++i) batch.answers[i] = NameAnswer::Unasked;
  posted_ = nullptr;
  uint32_t next = 0;
  while (next < batch.count && posted_ == nullptr) next = postBatch(batch, next);
}

void QueryWorker::finishHandleNames(NameBatch& batch) {
  uint32_t next = batch.count;
  if (posted_ == &batch) {
    posted_ = nullptr;
    next = awaitBatch(batch, batch.first);
  }
  while (next < batch.count) {
    next = postBatch(batch, next);
    if (posted_ == &batch) {
      posted_ = nullptr;
      next = awaitBatch(batch, batch.first);
    }
  }
}

uint32_t QueryWorker::postBatch(NameBatch& batch, uint32_t next) {
  if (pastLimit()) return batch.count;  // the rest stay Unasked
  if (!running_ && !startWorker()) {
    const NameAnswer rest = pastLimit() ? NameAnswer::Unasked : NameAnswer::NoWorker;
    for (uint32_t i = next; i < batch.count; ++i) batch.answers[i] = rest;
    return batch.count;
  }
  batch.first = next;
  batch.progress.store(2 * next, std::memory_order_release);
  if (!threads_.post(
          WorkerMessage{WM_WORKER_QUERY_NAMES, reinterpret_cast<uintptr_t>(&batch), 0})) {
    stopWorker();  // the worker's queue is gone; the next handle goes to a fresh one
    batch.answers[next] = NameAnswer::Unreadable;
    return next + 1;
  }
  posted_ = &batch;
  return next;
}

uint32_t QueryWorker::awaitBatch(NameBatch& batch, uint32_t from) {
  uint32_t seen = 2 * from;
  uint32_t seenAt = threads_.tickCount();
  for (;;) {
    const uint32_t progress = batch.progress.load(std::memory_order_acquire);
    if (progress != seen) {
      seen = progress;
      seenAt = threads_.tickCount();
    }
    // The handle in hand (or next to be taken) and since when the worker has had it.
    const uint32_t item = progress / 2;
    const uint32_t since = (progress & 1) != 0 ? batch.started[item] : seenAt;
    const uint32_t held = threads_.tickCount() - since;
    const uint32_t left = held >= kNameLimitMs ? 0 : kNameLimitMs - held;
    bool cut = false;
    if (threads_.waitReady(clipped(left, cut))) return batch.count;
    if (batch.progress.load(std::memory_order_acquire) != progress) continue;  // it moved on
    // No answer in time: the handle in hand hung, or the search's time is up.
    stopWorker();
    // What the worker answered before it ended (within the grace) stands.
    const uint32_t answered = batch.progress.load(std::memory_order_acquire) / 2;
    if (answered >= batch.count) return batch.count;
    if (cut) {
      for (uint32_t i = answered; i < batch.count; ++i) batch.answers[i] = NameAnswer::Unasked;
      return batch.count;
    }
    if (answered > item) return answered;
    batch.answers[item] = NameAnswer::Hung;
    return item + 1;
  }
}

void QueryWorker::releaseSnapshot(HandleSnapshot& slot) {
  if (slot.data != nullptr) queries_.releaseBlock(slot.data, slot.size);
  slot = HandleSnapshot{};
}

}  // namespace tarnwick
