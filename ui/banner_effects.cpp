#include "ui/banner_effects.h"

#include "ui/banner_text.h"
#include "ui/catalogue.h"

namespace tarnwick {
namespace {

// An abandoned mutex is owned like after a normal wait: the work is done and
// the mutex released, so that it is never kept owned.
bool owns(MutexWait wait) { return wait == MutexWait::Owned || wait == MutexWait::Abandoned; }

}  // namespace

void BannerComposer::setTimer(uintptr_t id, uint32_t periodMs) {
  parts_.platform.setTimer(id, periodMs);
}

void BannerComposer::killTimer(uintptr_t id) { parts_.platform.killTimer(id); }

void BannerComposer::postEject() { parts_.platform.postEject(); }

Rect BannerComposer::workArea() { return parts_.platform.workArea(); }

int32_t BannerComposer::countBannersUnderMutex() {
  // Counted after a time-out as well: the place then depends on a count
  // that another banner may be changing, which is better than no banner.
  const bool owned = owns(parts_.platform.waitBannerMutex(kPlacementWaitMs));
  const int32_t count = parts_.platform.countBanners();
  if (owned) parts_.platform.releaseBannerMutex();
  return count;
}

bool BannerComposer::ejectUnderMutex() {
  // No request without the mutex: the requests of all banners are made one
  // after the other.
  if (!owns(parts_.platform.waitBannerMutex(kEjectWaitMs))) return false;
  const bool ejected = ejectDevice(parts_.device, parts_.ejector);
  parts_.platform.releaseBannerMutex();
  return ejected;
}

void BannerComposer::present(const BannerState& state, Rect& okButtonRect, Rect& cancelButtonRect) {
  parts_.platform.present(state, okButtonRect, cancelButtonRect);
}

bool BannerComposer::fadeImage() { return parts_.platform.fadeImage(); }

void BannerComposer::presentFaded(Point position) { parts_.platform.presentFaded(position); }

void BannerComposer::bringToFront() { parts_.platform.bringToFront(); }

void BannerComposer::showWindow() { parts_.platform.showWindow(); }

void BannerComposer::showSuccessText() {
  char16_t text[kBannerTextCapacity] = {};
  const size_t length = formatUnpluggedText(text, parts_.device.friendlyName);
  parts_.platform.setText(text, length);
}

void BannerComposer::releaseExplorerWindows() {
  tarnwick::releaseExplorerWindows(parts_.device.driveLetter, closeExplorer_, parts_.explorer);
}

bool BannerComposer::diagnoseBlocker() {
  if (parts_.finder == nullptr) return false;
  tarnwick::diagnoseBlocker(parts_.notices, *parts_.finder, parts_.noticeState);
  return parts_.noticeState.blockerNoticeShown != 0;
}

void BannerComposer::showSafeNotice() {
  tarnwick::showSafeNotice(parts_.notices, parts_.noticeState, true);
}

void BannerComposer::removeSafeNotice() {
  tarnwick::showSafeNotice(parts_.notices, parts_.noticeState, false);
}

void BannerComposer::removeBlockerNotice() {
  const BlockerFindings none;
  tarnwick::showBlockerNotice(parts_.notices, parts_.noticeState,
                              parts_.finder != nullptr ? parts_.finder->findings : none, false);
  parts_.noticeState.blockerNoticeShown = 0;
}

void BannerComposer::showShutdownWarning() {
  char16_t caption[kTitleCapacity] = {};
  char16_t text[kShutdownTextCapacity] = {};
  parts_.notices.loadString(kCaptionStringId, caption, kTitleCapacity);
  parts_.notices.loadString(messageId(Message::ShutdownWarning, parts_.noticeState.japanese), text,
                            kShutdownTextCapacity);
  parts_.platform.showErrorBox(text, caption);
}

void BannerComposer::drainDeviceChanges() { parts_.platform.drainDeviceChanges(); }

void BannerComposer::setCursor(BannerCursor cursor) { parts_.platform.setCursor(cursor); }

void BannerComposer::quit() { parts_.platform.quit(); }

}  // namespace tarnwick
