#include "ui/banner_machine.h"

namespace tarnwick {
namespace {

bool isBalloonEnd(uint32_t event) { return event == kBalloonTimeout || event == kBalloonUserClick; }

}  // namespace

BannerMachine::BannerMachine(BannerEffects& effects, const BannerSettings& settings,
                             char16_t driveLetter, Extent imageSize)
    : effects_(effects) {
  state_.driveLetter = driveLetter;
  state_.imageSize = imageSize;
  state_.askFirst = settings.askFirst;
  state_.buttonsActive = settings.askFirst;
  state_.systemNotices = settings.systemNotices;
}

void BannerMachine::present() {
  effects_.present(state_, state_.okButtonRect, state_.cancelButtonRect);
}

intptr_t BannerMachine::onCreate() {
  state_.pulseAlpha = 255;
  const Rect area = effects_.workArea();
  state_.position.x = area.left;
  state_.position.y = (area.top + 3 * area.bottom) / 4;
  // The count includes this banner; a failed enumeration counts it alone.
  int32_t count = effects_.countBannersUnderMutex();
  if (count < 1) count = 1;
  state_.position.y -= kBannerStackStep * (count - 1);
  present();
  effects_.showWindow();
  if (state_.askFirst) {
    effects_.setTimer(TIMER_PULSE, kPulseStepMs);
  } else {
    effects_.setTimer(TIMER_START, kStartDelayMs);
  }
  return 0;
}

void BannerMachine::onWindowCreated() { state_.windowCreated = true; }

intptr_t BannerMachine::onTimer(uintptr_t id) {
  switch (id) {
    case TIMER_START:
      effects_.killTimer(TIMER_START);
      effects_.postEject();
      break;
    case TIMER_PULSE: pulseTick(); break;
    case TIMER_FADE_OUT: fadeTick(); break;
    case TIMER_REMOVED:
      effects_.killTimer(TIMER_REMOVED);
      state_.closeArmed = true;
      break;
    case TIMER_AUTO_CLOSE: armAndClose(); break;
    default: break;
  }
  return 0;
}

void BannerMachine::pulseTick() {
  if (state_.pulseAlpha >= kPulseCycleEnd) {
    state_.pulseAlpha = static_cast<uint8_t>(state_.pulseAlpha - kPulseAlphaStep);
  } else {
    state_.pulseAlpha = 255;
    // While the terminate prompt is open the pulse goes on without an attempt:
    // the drive is not ejected behind a question about ending its blocker.
    if ((!state_.buttonsActive || !state_.askFirst) && !state_.diagnosing) {
      effects_.killTimer(TIMER_PULSE);
      effects_.postEject();
    }
  }
  present();
}

void BannerMachine::fadeTick() {
  const bool more = effects_.fadeImage();
  state_.position.x += state_.slideStep;
  effects_.bringToFront();
  effects_.presentFaded(state_.position);
  if (!more) effects_.quit();
}

// Arms closing and sends the banner DBT_DEVNODES_CHANGED, which starts the
// fade-out with the slide.
void BannerMachine::armAndClose() {
  state_.closeArmed = true;
  onDeviceChange(kDeviceNodesChanged);
}

intptr_t BannerMachine::onEject() {
  // A finished banner (success or Cancel) makes no further attempt: an
  // attempt still queued when Cancel was pressed is dropped, so a cancelled
  // banner neither ejects nor restarts its pulse over the fade-out.
  if (state_.pulseAlpha == 0) return 0;
  // An attempt posted before a diagnosis began waits for the pulse's next
  // cycle end instead of running under the terminate prompt.
  if (state_.diagnosing) {
    effects_.setTimer(TIMER_PULSE, kPulseStepMs);
    return 0;
  }
  if (effects_.ejectUnderMutex()) {
    attemptSucceeded();
  } else {
    attemptFailed();
  }
  return 0;
}

void BannerMachine::attemptSucceeded() {
  effects_.showSuccessText();
  state_.pulseAlpha = 0;
  if (state_.blockerNoticeShown) {
    effects_.removeBlockerNotice();
    state_.blockerNoticeShown = false;
  }
  if (state_.systemNotices) {
    armAndClose();
  } else {
    effects_.showSafeNotice();
    state_.safeNoticeShown = true;
    state_.buttonsActive = false;
    effects_.setTimer(TIMER_AUTO_CLOSE, kAutoCloseMs);
  }
  present();
}

void BannerMachine::attemptFailed() {
  if (state_.systemNotices) {
    // The system has told the user; wait for OK again.
    state_.askFirst = true;
    state_.buttonsActive = true;
    present();
    diagnose();
  } else if (state_.explorerReleased) {
    state_.buttonsActive = true;
    present();
    diagnose();
  } else {
    effects_.releaseExplorerWindows();
    state_.askFirst = false;
    state_.explorerReleased = true;
  }
  state_.pulseAlpha = 255;
  effects_.setTimer(TIMER_PULSE, kPulseStepMs);
  present();
}

void BannerMachine::diagnose() {
  // One diagnosis at a time: the modal loop of its prompt may dispatch
  // timers and balloon callbacks that would start another.
  if (state_.blockerNoticeShown || state_.diagnosing) return;
  state_.diagnosing = true;
  const bool shown = effects_.diagnoseBlocker();
  state_.diagnosing = false;
  if (shown) state_.blockerNoticeShown = true;
}

void BannerMachine::okAction() {
  state_.buttonsActive = false;
  present();
  effects_.killTimer(TIMER_PULSE);
  effects_.postEject();
}

void BannerMachine::cancelAction() {
  state_.buttonsActive = false;
  state_.pulseAlpha = 0;
  present();
  effects_.killTimer(TIMER_PULSE);
  effects_.setTimer(TIMER_FADE_OUT, kFadeStepMs);
}

intptr_t BannerMachine::onLeftButtonDown(Point client) {
  if (!state_.buttonsActive) return 0;
  if (state_.askFirst && state_.okButtonRect.contains(client.x, client.y)) {
    okAction();
  } else if (state_.cancelButtonRect.contains(client.x, client.y)) {
    cancelAction();
  }
  return 0;
}

intptr_t BannerMachine::onKeyDown(uint32_t key) {
  if (!state_.buttonsActive) return 0;
  if (key == kKeyReturn && state_.askFirst) {
    okAction();
  } else if (key == kKeyEscape) {
    cancelAction();
  }
  return 0;
}

intptr_t BannerMachine::onDeviceChange(uintptr_t event) {
  if (event == kDeviceNodesChanged && state_.closeArmed) {
    effects_.killTimer(TIMER_AUTO_CLOSE);
    state_.slideStep = 1;
    effects_.setTimer(TIMER_FADE_OUT, kFadeStepMs);
    if (state_.safeNoticeShown) {
      effects_.removeSafeNotice();
      state_.safeNoticeShown = false;
    }
  } else if (event == kDeviceRemoveComplete && state_.pulseAlpha == 0) {
    effects_.setTimer(TIMER_REMOVED, kRemovedArmDelayMs);
    effects_.drainDeviceChanges();
  }
  return kHandled;
}

intptr_t BannerMachine::onSafeNotice(uint32_t event) {
  if (isBalloonEnd(event)) armAndClose();
  return 0;
}

intptr_t BannerMachine::onBlockerNotice(uint32_t event) {
  if (isBalloonEnd(event)) {
    effects_.removeBlockerNotice();
    state_.blockerNoticeShown = false;
    diagnose();
  }
  return 0;
}

intptr_t BannerMachine::onQueryDrive(uintptr_t letter) const {
  return letter == static_cast<uintptr_t>(state_.driveLetter) ? 1 : 0;
}

intptr_t BannerMachine::onQueryEndSession() {
  onShutdownWarning();
  return 0;
}

intptr_t BannerMachine::onShutdownWarning() {
  effects_.showShutdownWarning();
  return 0;
}

intptr_t BannerMachine::onHitTest(Point client) const {
  if (state_.buttonsActive && (state_.okButtonRect.contains(client.x, client.y) ||
                               state_.cancelButtonRect.contains(client.x, client.y))) {
    return kHitClient;
  }
  return kHitCaption;
}

intptr_t BannerMachine::onSetCursor(uint32_t hitCode) {
  const bool overButton = state_.buttonsActive && hitCode == static_cast<uint32_t>(kHitClient);
  effects_.setCursor(overButton ? BannerCursor::Hand : BannerCursor::Arrow);
  return kHandled;
}

intptr_t BannerMachine::onMoving(Rect& rect) {
  const int32_t width = rect.right - rect.left;
  rect.left = state_.position.x;
  rect.right = state_.position.x + width;
  const Rect area = effects_.workArea();
  const int32_t height = state_.imageSize.height;
  if (rect.top < area.top) {
    rect.top = area.top;
    rect.bottom = rect.top + height;
  } else if (rect.bottom > area.bottom) {
    rect.bottom = area.bottom;
    rect.top = rect.bottom - height;
  }
  return kHandled;
}

intptr_t BannerMachine::onMove(int32_t top) {
  if (state_.windowCreated) state_.position.y = top;
  return 0;
}

intptr_t BannerMachine::onDestroy() {
  if (state_.blockerNoticeShown) {
    effects_.removeBlockerNotice();
    state_.blockerNoticeShown = false;
  }
  return 0;
}

}  // namespace tarnwick
