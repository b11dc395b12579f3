// The native queries that the handle query worker makes, and the records in
// which their answers travel to the requester. Everything here runs on the
// worker thread, which may be terminated at any moment when a query hangs.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "blocker/handle_table.h"

namespace tarnwick {

// Status codes of the native calls that the worker tells apart.
constexpr uint32_t kStatusSuccess = 0;
constexpr uint32_t kStatusBufferOverflow = 0x80000005;
constexpr uint32_t kStatusInfoLengthMismatch = 0xC0000004;
constexpr uint32_t kStatusBufferTooSmall = 0xC0000023;

// Information classes of NtQueryObject.
constexpr uint32_t kObjectNameInformation = 1;
constexpr uint32_t kObjectTypeInformation = 2;

// Units of the requester's name buffer.
constexpr size_t kNameUnits = 320;
// Bytes offered to the name query, descriptor included; longer names are not reported.
constexpr uint32_t kNameQueryBytes = 512;
// Bytes offered to the type query; a type that needs more is not "File" anyway.
constexpr uint32_t kTypeQueryBytes = 1024;

// The snapshot slot: filled by the worker, owned and released by the requester.
// The worker stores the block here as soon as it has it, so that a block of a
// worker terminated in the middle of its query is still released.
struct HandleSnapshot {
  uint8_t* data = nullptr;  // from HandleQueries::allocateBlock
  uint32_t size = 0;        // bytes allocated
  uint32_t filled = 0;      // bytes the system filled
  HandleTableFormat format = HandleTableFormat::Extended;
};

// The platform calls of the worker.
class HandleQueries {
 public:
  virtual ~HandleQueries() = default;
  // NtQuerySystemInformation; `returned` receives the bytes filled, or needed.
  virtual uint32_t querySystemInformation(uint32_t infoClass, void* buffer, uint32_t size,
                                          uint32_t* returned) = 0;
  // NtQueryObject for `handle`, already duplicated into this process.
  virtual uint32_t queryObject(uintptr_t handle, uint32_t infoClass, void* buffer, uint32_t size,
                               uint32_t* returned) = 0;
  // True when the pipe-information query succeeds: the file object is a pipe.
  virtual bool isPipe(uintptr_t handle) = 0;
  // Zero-filled memory whose allocation takes no lock that a terminated worker
  // could leave held; null when there is none.
  virtual uint8_t* allocateBlock(uint32_t size) = 0;
  virtual void releaseBlock(uint8_t* block, uint32_t size) = 0;
  // Milliseconds of a free-running clock.
  virtual uint32_t tickCount() = 0;
};

// Snapshot bookkeeping: the first size tried, how often and for how long the
// worker grows the buffer when the table did not fit, and the largest block
// it asks for.
constexpr uint32_t kFirstSnapshotBytes = 64 * 1024;
constexpr int kSnapshotAttempts = 8;
constexpr uint32_t kSnapshotRetryBudgetMs = 500;
constexpr uint32_t kLargestSnapshotBytes = 256u * 1024 * 1024;

// Takes a snapshot of the handle table into `slot`: the extended form, or the
// compact form where the system refuses the extended one. A table that grew
// past the buffer is asked for again in a larger one, a bounded number of
// times and never after kSnapshotRetryBudgetMs from `startTick`. On false the
// slot holds no block.
bool takeHandleSnapshot(HandleQueries& queries, HandleSnapshot& slot, uint32_t startTick);

// Copies the text of the counted string that begins an object-information
// block of `bytes` bytes into `text` (capacity units, terminated). False when
// the text does not lie inside the block or does not fit.
bool readCountedText(const uint8_t* block, size_t bytes, char16_t* text, size_t capacity);

// What became of one handle that the search wanted named.
enum class NameAnswer : uint8_t {
  Unasked,      // never asked: the search's time ran out first
  NoWorker,     // no worker could be started to ask it
  Named,        // a file; its name is in the name buffer
  FileUnnamed,  // a file without a name to report: a pipe, or a name too long
  NotFile,      // an object of another type
  Unreadable,   // its type could not be read (one request per handle: no name, whatever the reason)
  Hung,         // no answer within its limit; the worker that took it was ended
};

// True for the answers that say the object is a file (named or not).
inline bool isFileAnswer(NameAnswer a) {
  return a == NameAnswer::Named || a == NameAnswer::FileUnnamed;
}

// Identifies a handle: the object's type must be "File", it must not be a
// pipe, and its name must fit in kNameQueryBytes. On Named, `name`
// (kNameUnits) holds the name as the system gives it. With `knownFile` the
// caller already knows the object to be a file and its type is not read.
NameAnswer identifyHandle(HandleQueries& queries, uintptr_t handle, char16_t* name,
                          bool knownFile = false);

// Several handles for one request: the requester fills the handles and the
// first to ask, the worker answers them in order and publishes how far it
// got, so that the requester can give each handle its own time limit and
// hand the rest to a fresh worker when one hangs.
constexpr uint32_t kNameBatchCapacity = 64;

struct NameBatch {
  uint32_t count = 0;                          // handles in use
  uint32_t first = 0;                          // the first handle this request asks for
  uintptr_t handles[kNameBatchCapacity] = {};  // duplicated into this process
  bool knownFiles[kNameBatchCapacity] = {};    // the object is known to be a file
  NameAnswer answers[kNameBatchCapacity] = {};
  // 2i+1 while the worker identifies handle i, 2i+2 once its answer is in place.
  std::atomic<uint32_t> progress{0};
  uint32_t started[kNameBatchCapacity] = {};  // the worker's tick when it took handle i
  char16_t names[kNameBatchCapacity][kNameUnits];
};

// The worker's two steps for handle `index` of a batch: publish that it is
// taken (at `tick`), then identify it and publish the answer.
void beginBatchItem(NameBatch& batch, uint32_t index, uint32_t tick);
void finishBatchItem(HandleQueries& queries, NameBatch& batch, uint32_t index);

// identifyHandle reduced to whether the handle was named.
inline bool nameFileHandle(HandleQueries& queries, uintptr_t handle, char16_t* name) {
  return identifyHandle(queries, handle, name) == NameAnswer::Named;
}

}  // namespace tarnwick
