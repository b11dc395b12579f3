// The banner's notices: the success and blocker balloons in the notification
// area and the diagnosis of a refused ejection, which may first offer to
// terminate the blocking process. Choosing and formatting the texts is done
// here; the notification area, the prompt and the process are reached only
// through NoticePlatform, the blocker search through its BlockerFinder.
#pragma once

#include <cstddef>
#include <cstdint>

#include "blocker/blocker_search.h"
#include "ui/catalogue.h"

namespace tarnwick {

// Icon ids of the two balloons in the notification area.
enum class NoticeIcon : uint32_t { Safe = 0, Blocker = 1 };

constexpr uint32_t kBalloonInfo = 1;   // information icon in the balloon
constexpr uint32_t kBalloonError = 3;  // error icon in the balloon
constexpr uint32_t kQuietAfterBlockerNoticeMs = 3000;

struct Balloon {
  NoticeIcon icon = NoticeIcon::Safe;
  char16_t text[kBalloonTextCapacity] = {};
  char16_t title[kTitleCapacity] = {};
  uint32_t infoFlags = 0;
};

class NoticePlatform {
 public:
  virtual ~NoticePlatform() = default;
  // A text of the string table into `buffer`; an empty text when it is missing.
  virtual void loadString(uint32_t id, char16_t* buffer, size_t capacity) = 0;
  // Adds the icon with its balloon, then brings the banner to the front.
  virtual void showBalloon(const Balloon& balloon) = 0;
  virtual void removeBalloon(NoticeIcon icon) = 0;
  virtual uint32_t tickCount() = 0;
  virtual void enableBanner(bool enable) = 0;
  // Modal warning owned by the banner with Yes and No, No the default; true for Yes.
  virtual bool askYesNo(const char16_t* text, const char16_t* caption) = 0;
  // The process to terminate: opened by id, its executable's path and its
  // start time read from the opened process, terminated with exit code 0,
  // and closed again.
  virtual bool openProcess(uint32_t pid) = 0;
  virtual bool openedProcessImage(char16_t* buffer, size_t capacity) = 0;
  virtual uint64_t openedProcessStartTime() = 0;  // 0 when it cannot be read
  virtual void terminateOpenedProcess() = 0;
  virtual void closeOpenedProcess() = 0;
};

// The banner's settings and state that the notices read and write; the
// banner owns it.
struct NoticeState {
  bool japanese = false;                    // texts in Japanese, else English
  char16_t driveLetter = 0;                 // the drive as given
  const char16_t* deviceDescription = u"";  // of the device to eject; outlives the state
  bool offerKill = false;                   // offer to terminate the blocker first
  bool systemNotices = false;               // the system reports eject results itself
  int32_t blockerNoticeShown = 0;
  uint32_t blockerNoticeClosedTick = 0;
};

// Adds (show) or removes the success balloon.
void showSafeNotice(NoticePlatform& platform, const NoticeState& state, bool show);

// Adds the blocker balloon for `findings`, or removes it and records the
// time of the removal.
void showBlockerNotice(NoticePlatform& platform, NoticeState& state,
                       const BlockerFindings& findings, bool show);

// After a refused ejection: unless the blocker balloon is shown or was
// removed less than 3000 ms ago, searches for the blocker and reports it,
// with offerKill (and without systemNotices) first asking whether to
// terminate it. The process is terminated only while the process opened is
// still the one found: the same executable where the search could read its
// path, and the same start time where it could read that (at least one of
// the two); a process that has ended, or whose id now belongs to another
// process, is treated as one that cannot be opened and the balloon is shown
// instead.
void diagnoseBlocker(NoticePlatform& platform, BlockerFinder& finder, NoticeState& state);

// Both texts of a blocker message (balloon or prompt) in `japanese` or English.
void formatBlockerText(NoticePlatform& platform, bool japanese, char16_t driveLetter,
                       const BlockerFindings& findings, bool prompt, char16_t* buffer,
                       size_t capacity);

}  // namespace tarnwick
