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

// What the last search found: the one record of a search's answer, read by
// the notices as it is.
struct BlockerFindings {
  uint32_t holderPid = 0;                      // the process examined when a finding ended the search
  char16_t holderImage[kBlockerPathUnits] = {};  // its executable's full path; empty when unreadable
  char16_t openPath[kBlockerPathUnits] = {};     // with holdsOpenItem: X:\rest of the name
  bool runsFromDrive = false;                  // the process's executable lies on the drive
  bool holdsOpenItem = false;                  // a handle names a file or folder on the drive
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
  // `name` has room for kNameUnits units.
  virtual bool requestHandleName(uintptr_t handle, char16_t* name) = 0;
  virtual void releaseSnapshot(HandleSnapshot& slot) = 0;
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
  // Duplicates a handle of the process into this one; 0 on failure.
  virtual uintptr_t duplicateHandle(uintptr_t process, uint64_t handleValue) = 0;
  virtual void closeHandle(uintptr_t handle) = 0;
  // Attributes of a path; every bit set when they cannot be read.
  virtual uint32_t fileAttributes(const char16_t* path) = 0;
};

// Searches for the process that keeps `driveLetter` busy and leaves the
// answer in `findings`. True exactly when runsFromDrive or holdsOpenItem is
// set. The worker is stopped on every way out.
bool findBlocker(char16_t driveLetter, BlockerFindings& findings, BlockerWorker& worker,
                 SearchPlatform& platform);

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
