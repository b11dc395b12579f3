// The blocker search: one walk over a snapshot of the system handle table,
// grouped by process, that finds the first process which runs from the drive
// or holds a file (or else a folder) on it open.
#pragma once

#include <cstddef>
#include <cstdint>

#include "blocker/handle_queries.h"

namespace tarnwick {

constexpr size_t kBlockerPathUnits = 320;
constexpr uint32_t kDirectoryAttribute = 0x10;
// The longest a search may hold its caller's thread, in milliseconds.
constexpr uint32_t kSearchLimitMs = 5000;

// What the last search found: the one record of a search's answer, read by
// the notices as it is.
struct BlockerFindings {
  uint32_t holderPid = 0;  // the process examined when a finding ended the search
  char16_t holderImage[kBlockerPathUnits] =
      {};                                     // its executable's full path; empty when unreadable
  char16_t openPath[kBlockerPathUnits] = {};  // with holdsOpenItem: X:\rest of the name
  bool runsFromDrive = false;                 // the process's executable lies on the drive
  bool holdsOpenItem = false;                 // a handle names a file or folder on the drive
  uint64_t holderStartTime = 0;               // when that process started (system time); 0 unknown
};

// The handle query worker as the search drives it.
class BlockerWorker {
 public:
  virtual ~BlockerWorker() = default;
  virtual bool startWorker() = 0;
  virtual void stopWorker() = 0;
  // On true the slot holds the table; the slot's block is released by
  // releaseSnapshot in every case, after the worker is stopped.
  virtual bool requestHandleSnapshot(HandleSnapshot& slot) = 0;
  // One request for one handle; `name` has room for kNameUnits units. Tells
  // only Named, Hung, NoWorker, Unasked and (for every other outcome) Unreadable.
  virtual NameAnswer askHandleName(uintptr_t handle, char16_t* name) = 0;
  // Answers every handle of the batch, several per request, each within its
  // own limit; handles after a hung one go to a fresh worker. The request is
  // begun, the caller is free to prepare the next batch meanwhile, and it is
  // finished (every answer in place, the worker done with the handles) by
  // finishHandleNames, which every begun batch must be given to.
  virtual void beginHandleNames(NameBatch& batch) = 0;
  virtual void finishHandleNames(NameBatch& batch) = 0;
  virtual void releaseSnapshot(HandleSnapshot& slot) = 0;
  // Milliseconds of the clock the worker's limits are measured on.
  virtual uint32_t tickCount() = 0;
  // From now on no wait ends after `deadlineTick`: a request still open
  // then is given up (its handles Unasked) and its worker stopped.
  virtual void limitWaitsTo(uint32_t deadlineTick) = 0;
  virtual void removeWaitLimit() = 0;
};

// Receives module paths one by one; true to stop.
class ModuleVisitor {
 public:
  virtual bool visit(const char16_t* path) = 0;

 protected:
  ~ModuleVisitor() = default;
};

// The platform operations of the walk. Handles are opaque non-zero values.
class SearchPlatform {
 public:
  virtual ~SearchPlatform() = default;
  // QueryDosDeviceW of `dosName` into `target` (kDeviceNameUnits units).
  virtual bool queryDosDevice(const char16_t* dosName, char16_t* target) = 0;
  // Opens a process to read its modules and duplicate its handles; 0 when refused.
  virtual uintptr_t openProcess(uint32_t processId) = 0;
  // Full path of the process's first module into `path` (kBlockerPathUnits units, terminated).
  virtual bool readExecutablePath(uintptr_t process, char16_t* path) = 0;
  // The executable's path as the system recorded it when the process
  // started, for processes whose module list cannot be read (another
  // architecture, some protected processes); false where that is not known.
  virtual bool readImageName(uintptr_t process, char16_t* path) = 0;
  // When the process started, in the system's time units; 0 when unknown.
  virtual uint64_t processStartTime(uintptr_t process) = 0;
  // Hands the full path of each module loaded in the process (opened as
  // `process`) to `visitor` until it says stop; false when the list cannot
  // be read.
  virtual bool visitModules(uintptr_t process, ModuleVisitor& visitor) = 0;
  // Duplicates a handle of the process into this one; 0 on failure.
  virtual uintptr_t duplicateHandle(uintptr_t process, uint64_t handleValue) = 0;
  virtual void closeHandle(uintptr_t handle) = 0;
  // Attributes of a path; every bit set when they cannot be read.
  virtual uint32_t fileAttributes(const char16_t* path) = 0;
};

// How the walk asks for handle names. Both find the same.
enum class WalkMode : uint8_t {
  // Every handle of an opened process is duplicated and named by one request.
  OneByOne,
  // Handles whose type number is known not to be a file's are passed over
  // without being duplicated; the rest go to the worker several per request.
  // A type number is learnt from the worker's answers and never trusted
  // against them (see the search).
  Batched,
};

struct SearchOptions {
  WalkMode mode = WalkMode::Batched;
  // The longest the whole search takes; 0 for no limit. Once the limit comes
  // the walk ends with what it found by then.
  uint32_t limitMs = kSearchLimitMs;
  // Batched: the next batch is duplicated while the worker names one.
  bool overlapBatches = true;
  // When the walk finds nothing: report a process that has a module loaded
  // from the drive as running from it.
  bool lookAtModules = true;
};

// Searches for the process that keeps `driveLetter` busy and leaves the
// answer in `findings`. True exactly when runsFromDrive or holdsOpenItem is
// set. The worker is stopped on every way out.
bool findBlocker(char16_t driveLetter, BlockerFindings& findings, BlockerWorker& worker,
                 SearchPlatform& platform, const SearchOptions& options = SearchOptions());

// The search as the banner runs it: the worker and platform it was given,
// and the findings of its last run.
class BlockerFinder {
 public:
  BlockerFinder() = default;
  virtual ~BlockerFinder() = default;
  BlockerFinder(const BlockerFinder&) = delete;
  BlockerFinder& operator=(const BlockerFinder&) = delete;

  // Searches for the process that keeps the drive busy (see findBlocker);
  // false, with the findings unchanged, while it has no worker and platform.
  virtual bool findBlocker(char16_t driveLetter);

  BlockerFindings findings;
  SearchOptions options;

 protected:
  // The worker and platform of every later search; both stay owned by the caller.
  void useSearch(BlockerWorker* worker, SearchPlatform* platform) {
    worker_ = worker;
    platform_ = platform;
  }

 private:
  BlockerWorker* worker_ = nullptr;
  SearchPlatform* platform_ = nullptr;
};

}  // namespace tarnwick
