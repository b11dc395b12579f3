#include "blocker/blocker_search.h"

#include "base/text.h"
#include "blocker/drive_path.h"
#include "blocker/handle_table.h"
#include "blocker/query_worker.h"

namespace tarnwick {
namespace {

// Kept free at the end of a limited search: ending a worker that hangs takes
// the grace before termination and the wait for the termination itself.
constexpr uint32_t kStopReserveMs = 2 * kWorkerGraceMs;

// What the walk has learnt of the objects behind one type number.
enum class TypeVerdict : uint8_t { Unknown, File, Other, Mixed };

// Type numbers the walk learns; the system's are small. Number 0 is never
// learnt: no system gives it to a type, and a table that carries no type
// numbers at all holds 0 in every entry.
constexpr uint32_t kLearntTypes = 256;
bool learnable(uint32_t typeNumber) { return typeNumber != 0 && typeNumber < kLearntTypes; }

// One walk over the table; the process handle it holds is closed on every way out.
class Walk {
 public:
  Walk(char16_t upperLetter, const DevicePrefix& prefix, BlockerFindings& findings,
       BlockerWorker& worker, SearchPlatform& platform, const SearchOptions& options,
       uint32_t deadline)
      : letter_(upperLetter),
        prefix_(prefix),
        found_(findings),
        worker_(worker),
        sys_(platform),
        batched_(options.mode == WalkMode::Batched),
        overlap_(options.overlapBatches),
        limited_(options.limitMs != 0),
        deadline_(deadline) {}
  ~Walk() {
    finishBatch();
    closeProcess();
  }

  // Examines the entries in table order until a finding ends the walk.
  void run(const HandleTableView& table) {
    size_t i = 0;
    while (i < table.size()) {
      const HandleEntry entry = table.entry(i);
      if (!havePrevious_ || entry.processId != previous_) {
        // The answers about the previous process's last handles come first.
        if (finishBatch()) return;
        // A folder found in the previous process is the answer: never mix two processes.
        if (found_.holdsOpenItem) return;
        if (expired()) return;
        if (beginProcess(entry.processId)) return;
      }
      // All entries of a process that cannot be opened, or whose handles
      // could not be asked for because no worker would start.
      if (process_ == 0 || abandoned_) {
        ++i;
        continue;
      }
      if (expired()) {
        finishBatch();
        return;
      }
      if (batched_) {
        if (examineBatch(table, i)) return;
      } else {
        if (examineHandle(entry.handleValue)) return;
        ++i;
      }
    }
    finishBatch();
  }

  // After a walk that found nothing: the first process in table order with a
  // module loaded from the drive, reported as running from it. The findings
  // change only when one is found.
  bool findModuleOnDrive(const HandleTableView& table) {
    uint64_t previous = 0;
    for (size_t i = 0; i < table.size(); ++i) {
      const uint64_t processId = table.entry(i).processId;
      if (i > 0 && processId == previous) continue;
      previous = processId;
      if (expired()) return false;
      if (processId > 0xFFFFFFFFu) continue;
      const uintptr_t process = sys_.openProcess(static_cast<uint32_t>(processId));
      if (process == 0) continue;
      const bool onDrive = hasModuleOnDrive(process);
      if (onDrive) {
        found_.holderPid = static_cast<uint32_t>(processId);
        found_.holderStartTime = sys_.processStartTime(process);
        readImage(process, found_.holderImage);
        found_.openPath[0] = 0;
        found_.runsFromDrive = true;
      }
      sys_.closeHandle(process);
      if (onDrive) return true;
    }
    return false;
  }

  bool expired() { return limited_ && static_cast<int32_t>(worker_.tickCount() - deadline_) >= 0; }

 private:
  struct Batch {
    NameBatch names;
    uint32_t types[kNameBatchCapacity];  // the type number of each handle
  };

  // True when the process runs from the drive.
  bool beginProcess(uint64_t processId) {
    previous_ = processId;
    havePrevious_ = true;
    abandoned_ = false;
    closeProcess();
    found_.holderImage[0] = 0;
    // An id beyond 32 bits names no process that can be opened.
    process_ = processId <= 0xFFFFFFFFu ? sys_.openProcess(static_cast<uint32_t>(processId)) : 0;
    if (process_ == 0) return false;
    found_.holderPid = static_cast<uint32_t>(processId);
    found_.holderStartTime = sys_.processStartTime(process_);
    // Unreadable: its handles are examined all the same.
    if (!readImage(process_, found_.holderImage)) return false;
    if (upperAscii(found_.holderImage[0]) != letter_) return false;
    found_.runsFromDrive = true;
    found_.openPath[0] = 0;
    return true;
  }

  // The executable's path from the module list, or else from what the system
  // recorded at the start; empty and false when neither can be read.
  bool readImage(uintptr_t process, char16_t* path) {
    if (sys_.readExecutablePath(process, path) && path[0] != 0) return true;
    path[0] = 0;
    if (sys_.readImageName(process, path) && path[0] != 0) return true;
    path[0] = 0;
    return false;
  }

  bool hasModuleOnDrive(uintptr_t process) {
    struct OnDrive final : ModuleVisitor {
      explicit OnDrive(char16_t letter) : letter(letter) {}
      bool visit(const char16_t* path) override {
        found = path[0] != 0 && upperAscii(path[0]) == letter && path[1] == u':';
        return found;
      }
      const char16_t letter;
      bool found = false;
    } onDrive(letter_);
    return sys_.visitModules(process, onDrive) && onDrive.found;
  }

  // One request per handle. True when the handle names a file on the drive;
  // a folder is kept and the walk goes on.
  bool examineHandle(uint64_t handleValue) {
    const uintptr_t duplicate = sys_.duplicateHandle(process_, handleValue);
    if (duplicate == 0) return false;
    const NameAnswer answer = worker_.askHandleName(duplicate, name_);
    sys_.closeHandle(duplicate);
    if (answer == NameAnswer::NoWorker) abandoned_ = true;
    return answer == NameAnswer::Named && examineName(name_);
  }

  // The next handles of the process from entry `i` on, several per request;
  // `i` moves past the entries taken or passed over. While the worker names
  // one batch the next is duplicated; the answers are examined batch after
  // batch, each in table order, so the outcome is that of asking one by one.
  // True when one of them names a file on the drive.
  bool examineBatch(const HandleTableView& table, size_t& i) {
    Batch& next = batches_[pending_ == &batches_[0] ? 1 : 0];
    NameBatch& b = next.names;
    b.count = 0;
    const uint64_t processId = table.entry(i).processId;
    for (; i < table.size() && b.count < kNameBatchCapacity; ++i) {
      const HandleEntry e = table.entry(i);
      if (e.processId != processId) break;
      const TypeVerdict verdict = verdictOf(e.typeNumber);
      // Never a file: the worker would only say so.
      if (verdict == TypeVerdict::Other) continue;
      // One handle of a type not yet known at a time, so that the others of
      // its type are passed over once its answer has taught the type.
      if (verdict == TypeVerdict::Unknown && learnable(e.typeNumber) &&
          (inBatch(next, e.typeNumber) ||
           (pending_ != nullptr && inBatch(*pending_, e.typeNumber)))) {
        break;
      }
      const uintptr_t duplicate = sys_.duplicateHandle(process_, e.handleValue);
      if (duplicate == 0) continue;
      b.handles[b.count] = duplicate;
      // Its type need not be read again: every object of the number is a file.
      b.knownFiles[b.count] = verdict == TypeVerdict::File;
      next.types[b.count] = e.typeNumber;
      ++b.count;
    }
    if (finishBatch()) {
      closeAll(next);
      return true;
    }
    if (b.count == 0 || abandoned_) {
      closeAll(next);
      return false;
    }
    worker_.beginHandleNames(b);
    pending_ = &next;
    return overlap_ ? false : finishBatch();
  }

  // Examines the answers of the batch in the worker's hands, if any, and
  // closes its duplicates; true when one names a file on the drive.
  bool finishBatch() {
    if (pending_ == nullptr) return false;
    Batch& done = *pending_;
    pending_ = nullptr;
    worker_.finishHandleNames(done.names);
    bool found = false;
    for (uint32_t j = 0; j < done.names.count && !found; ++j) {
      const NameAnswer answer = done.names.answers[j];
      learn(done.types[j], answer);
      if (answer == NameAnswer::NoWorker) abandoned_ = true;
      found = answer == NameAnswer::Named && examineName(done.names.names[j]);
    }
    closeAll(done);
    return found;
  }

  void closeAll(Batch& batch) {
    for (uint32_t j = 0; j < batch.names.count; ++j) sys_.closeHandle(batch.names.handles[j]);
    batch.names.count = 0;
  }

  static bool inBatch(const Batch& batch, uint32_t typeNumber) {
    for (uint32_t j = 0; j < batch.names.count; ++j) {
      if (batch.types[j] == typeNumber) return true;
    }
    return false;
  }

  TypeVerdict verdictOf(uint32_t typeNumber) const {
    return learnable(typeNumber) ? verdicts_[typeNumber] : TypeVerdict::Unknown;
  }

  // A type number is taken as "not a file" only while every answer about its
  // objects said so; one file among them makes it untrusted for good.
  void learn(uint32_t typeNumber, NameAnswer answer) {
    if (!learnable(typeNumber)) return;
    TypeVerdict& v = verdicts_[typeNumber];
    if (isFileAnswer(answer)) {
      v = v == TypeVerdict::Other || v == TypeVerdict::Mixed ? TypeVerdict::Mixed
                                                             : TypeVerdict::File;
    } else if (answer == NameAnswer::NotFile) {
      v = v == TypeVerdict::File || v == TypeVerdict::Mixed ? TypeVerdict::Mixed
                                                            : TypeVerdict::Other;
    }
  }

  // True when the name is a file on the drive; a folder is kept.
  bool examineName(const char16_t* name) {
    if (!drivePathOf(name, prefix_, letter_, found_.openPath, kBlockerPathUnits)) return false;
    found_.holdsOpenItem = true;
    // A failed query sets every bit and so counts as a folder.
    return (sys_.fileAttributes(found_.openPath) & kDirectoryAttribute) == 0;
  }

  void closeProcess() {
    if (process_ != 0) sys_.closeHandle(process_);
    process_ = 0;
  }

  const char16_t letter_;
  const DevicePrefix& prefix_;
  BlockerFindings& found_;
  BlockerWorker& worker_;
  SearchPlatform& sys_;
  const bool batched_;
  const bool overlap_;
  const bool limited_;
  const uint32_t deadline_;
  uint64_t previous_ = 0;
  bool havePrevious_ = false;
  bool abandoned_ = false;
  uintptr_t process_ = 0;
  TypeVerdict verdicts_[kLearntTypes] = {};
  char16_t name_[kNameUnits] = {};
  Batch batches_[2];
  Batch* pending_ = nullptr;  // the batch the worker is naming
};

}  // namespace

bool findBlocker(char16_t driveLetter, BlockerFindings& findings, BlockerWorker& worker,
                 SearchPlatform& platform, const SearchOptions& options) {
  const char16_t letter = upperAscii(driveLetter);
  findings.runsFromDrive = false;
  findings.holdsOpenItem = false;
  findings.holderImage[0] = 0;
  findings.openPath[0] = 0;
  findings.holderStartTime = 0;

  // The device name is looked up with the letter as given.
  const char16_t dosName[3] = {driveLetter, u':', 0};
  char16_t deviceName[kDeviceNameUnits] = {};
  DevicePrefix prefix;
  if (!platform.queryDosDevice(dosName, deviceName) || !makeDevicePrefix(deviceName, prefix)) {
    return false;
  }
  // Every wait of the worker ends early enough that stopping a hung worker
  // still fits in the limit.
  const uint32_t start = worker.tickCount();
  const uint32_t deadline =
      start + (options.limitMs > kStopReserveMs ? options.limitMs - kStopReserveMs : 0);
  if (options.limitMs != 0) worker.limitWaitsTo(deadline);
  HandleSnapshot snapshot;
  if (worker.startWorker()) {
    if (worker.requestHandleSnapshot(snapshot)) {
      const HandleTableView table(snapshot.data, snapshot.filled,
                                  handleTableLayout(snapshot.format, sizeof(void*)));
      Walk walk(letter, prefix, findings, worker, platform, options, deadline);
      walk.run(table);
      worker.stopWorker();
      if (options.lookAtModules && !findings.runsFromDrive && !findings.holdsOpenItem &&
          !walk.expired()) {
        walk.findModuleOnDrive(table);
      }
    }
    worker.stopWorker();
    worker.releaseSnapshot(snapshot);
  }
  worker.removeWaitLimit();
  return findings.runsFromDrive || findings.holdsOpenItem;
}

bool BlockerFinder::findBlocker(char16_t driveLetter) {
  if (worker_ == nullptr || platform_ == nullptr) return false;
  return tarnwick::findBlocker(driveLetter, findings, *worker_, *platform_, options);
}

}  // namespace tarnwick
