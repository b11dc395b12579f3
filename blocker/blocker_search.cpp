#include "blocker/blocker_search.h"

#include "base/text.h"
#include "blocker/drive_path.h"
#include "blocker/handle_table.h"

namespace tarnwick {
namespace {

// One walk over the table; the process handle it holds is closed on every way out.
class Walk {
 public:
  Walk(char16_t upperLetter, const DevicePrefix& prefix, BlockerFindings& findings,
       BlockerWorker& worker, SearchPlatform& platform)
      : letter_(upperLetter), prefix_(prefix), found_(findings), worker_(worker), sys_(platform) {}
  ~Walk() { closeProcess(); }

  // Examines the entries in table order until a finding ends the walk.
  void run(const HandleTableView& table) {
    for (size_t i = 0; i < table.size(); ++i) {
      const HandleEntry entry = table.entry(i);
      if (!havePrevious_ || entry.processId != previous_) {
        // A folder found in the previous process is the answer: never mix two processes.
        if (found_.holdsOpenItem) return;
        if (beginProcess(entry.processId)) return;
      }
      if (process_ == 0) continue;  // all entries of a process that cannot be opened
      if (examineHandle(entry.handleValue)) return;
    }
  }

 private:
  // True when the process runs from the drive.
  bool beginProcess(uint64_t processId) {
    previous_ = processId;
    havePrevious_ = true;
    closeProcess();
    found_.holderImage[0] = 0;
    // An id beyond 32 bits names no process that can be opened.
    process_ = processId <= 0xFFFFFFFFu ? sys_.openProcess(static_cast<uint32_t>(processId)) : 0;
    if (process_ == 0) return false;
    found_.holderPid = static_cast<uint32_t>(processId);
    if (!sys_.readExecutablePath(process_, found_.holderImage)) {
      found_.holderImage[0] = 0;  // unreadable: its handles are examined all the same
      return false;
    }
    if (found_.holderImage[0] == 0 || upperAscii(found_.holderImage[0]) != letter_) return false;
    found_.runsFromDrive = true;
    found_.openPath[0] = 0;
    return true;
  }

  // True when the handle names a file on the drive; a folder is kept and the walk goes on.
  bool examineHandle(uint64_t handleValue) {
    const uintptr_t duplicate = sys_.duplicateHandle(process_, handleValue);
    if (duplicate == 0) return false;
    const bool named = worker_.requestHandleName(duplicate, name_);
    sys_.closeHandle(duplicate);
    if (!named) return false;
    if (!drivePathOf(name_, prefix_, letter_, found_.openPath, kBlockerPathUnits)) return false;
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
  uint64_t previous_ = 0;
  bool havePrevious_ = false;
  uintptr_t process_ = 0;
  char16_t name_[kNameUnits] = {};
};

}  // namespace

bool findBlocker(char16_t driveLetter, BlockerFindings& findings, BlockerWorker& worker,
                 SearchPlatform& platform) {
  const char16_t letter = upperAscii(driveLetter);
  findings.runsFromDrive = false;
  findings.holdsOpenItem = false;
  findings.holderImage[0] = 0;
  findings.openPath[0] = 0;

  // The device name is looked up with the letter as given.
  const char16_t dosName[3] = {driveLetter, u':', 0};
  char16_t deviceName[kDeviceNameUnits] = {};
  DevicePrefix prefix;
  if (!platform.queryDosDevice(dosName, deviceName) || !makeDevicePrefix(deviceName, prefix)) {
    return false;
  }
  if (!worker.startWorker()) return false;
  HandleSnapshot snapshot;
  if (worker.requestHandleSnapshot(snapshot)) {
    const HandleTableView table(snapshot.data, snapshot.filled,
                                handleTableLayout(snapshot.format, sizeof(void*)));
    Walk(letter, prefix, findings, worker, platform).run(table);
  }
  worker.stopWorker();
  worker.releaseSnapshot(snapshot);
  return findings.runsFromDrive || findings.holdsOpenItem;
}

bool BlockerFinder::findBlocker(char16_t driveLetter) {
  if (worker_ == nullptr || platform_ == nullptr) return false;
  return tarnwick::findBlocker(driveLetter, findings, *worker_, *platform_);
}

}  // namespace tarnwick
