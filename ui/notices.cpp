#include "ui/notices.h"

#include "base/text.h"

namespace tarnwick {
namespace {

void loadMessage(NoticePlatform& platform, Message message, bool japanese, char16_t* buffer,
                 size_t capacity) {
  buffer[0] = 0;
  platform.loadString(messageId(message, japanese), buffer, capacity);
}

// Paths are compared the way the file system does for drive letters and
// ASCII names: a-z and A-Z alike.
bool samePath(const char16_t* a, const char16_t* b) {
  for (;; ++a, ++b) {
    if (upperAscii(*a) != upperAscii(*b)) return false;
    if (*a == 0) return true;
  }
}

// True when the process was terminated: it could be opened and is still the
// process that the search found. A process id alone proves nothing, for ids
// are used again.
bool terminateBlocker(NoticePlatform& platform, const BlockerFindings& result) {
  if (!platform.openProcess(result.holderPid)) return false;
  const bool imageKnown = result.holderImage[0] != 0;
  const bool startKnown = result.holderStartTime != 0;
  bool same = imageKnown || startKnown;
  if (same && imageKnown) {
    char16_t image[320] = {};
    same = platform.openedProcessImage(image, 320) && samePath(image, result.holderImage);
  }
  if (same && startKnown) same = platform.openedProcessStartTime() == result.holderStartTime;
  if (same) platform.terminateOpenedProcess();
  platform.closeOpenedProcess();
  return same;
}

}  // namespace

void formatBlockerText(NoticePlatform& platform, bool japanese, char16_t driveLetter,
                       const BlockerFindings& result, bool prompt, char16_t* buffer,
                       size_t capacity) {
  char16_t rootName[kRootNameCapacity] = {};
  platform.loadString(kRootNameStringId, rootName, kRootNameCapacity);
  char16_t imageName[kDisplayNameCapacity];
  char16_t openName[kDisplayNameCapacity];
  displayName(result.holderImage, rootName, imageName);
  displayName(result.openPath, rootName, openName);

  BlockerFacts facts;
  facts.driveLetter = driveLetter;
  facts.holderPid = result.holderPid;
  facts.imageName = imageName;
  facts.openName = openName;
  facts.runsFromDrive = result.runsFromDrive;
  char16_t format[kFormatCapacity];
  loadMessage(platform, blockerMessage(facts, prompt), japanese, format, kFormatCapacity);
  FormatArgument arguments[4];
  const size_t count = blockerArguments(facts, japanese, arguments);
  formatFitting(buffer, capacity, format, arguments, count);
}

void showSafeNotice(NoticePlatform& platform, const NoticeState& state, bool show) {
  if (!show) {
    platform.removeBalloon(NoticeIcon::Safe);
    return;
  }
  Balloon balloon;
  balloon.icon = NoticeIcon::Safe;
  balloon.infoFlags = kBalloonInfo;
  char16_t format[kFormatCapacity];
  loadMessage(platform, Message::SafeText, state.japanese, format, kFormatCapacity);
  loadMessage(platform, Message::SafeTitle, state.japanese, balloon.title, kTitleCapacity);
  // The description is shown in full when it fits the balloon, shortened when not.
  const FormatArgument description[] = {FormatArgument::ofText(state.deviceDescription)};
  formatFitting(balloon.text, format, description);
  platform.showBalloon(balloon);
}

void showBlockerNotice(NoticePlatform& platform, NoticeState& state, const BlockerFindings& result,
                       bool show) {
  if (!show) {
    platform.removeBalloon(NoticeIcon::Blocker);
    state.blockerNoticeClosedTick = platform.tickCount();
    return;
  }
  Balloon balloon;
  balloon.icon = NoticeIcon::Blocker;
  balloon.infoFlags = kBalloonError;
  formatBlockerText(platform, state.japanese, state.driveLetter, result, false, balloon.text,
                    kBalloonTextCapacity);
  loadMessage(platform, Message::BlockerTitle, state.japanese, balloon.title, kTitleCapacity);
  platform.showBalloon(balloon);
}

void diagnoseBlocker(NoticePlatform& platform, BlockerFinder& finder, NoticeState& state) {
  if (state.blockerNoticeShown) return;
  // The time since the removal, in unsigned arithmetic, stays right when the
  // tick count wraps after 49.7 days (comparing against removal + 3000 would
  // keep the diagnosis silent for weeks when the removal fell just before it).
  const uint32_t sinceRemoval = platform.tickCount() - state.blockerNoticeClosedTick;
  if (sinceRemoval < kQuietAfterBlockerNoticeMs) return;
  if (!finder.findBlocker(state.driveLetter)) return;
  const BlockerFindings& result = finder.findings;

  if (state.offerKill && !state.systemNotices) {
    char16_t prompt[kPromptCapacity];
    formatBlockerText(platform, state.japanese, state.driveLetter, result, true, prompt,
                      kPromptCapacity);
    char16_t caption[kTitleCapacity] = {};
    platform.loadString(kCaptionStringId, caption, kTitleCapacity);
    platform.enableBanner(false);
    const bool yes = platform.askYesNo(prompt, caption);
    const bool terminated = yes && terminateBlocker(platform, result);
    platform.enableBanner(true);
    if (terminated) return;
  }
  showBlockerNotice(platform, state, result, true);
  state.blockerNoticeShown = 1;
}

}  // namespace tarnwick
