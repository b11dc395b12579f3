#include "ui/banner_effects_win32.h"

#include <cwchar>

#include "base/text_win32.h"
#include "shell/explorer_release.h"
#include "ui/banner_text.h"
#include "ui/catalogue.h"
#include "ui/notices_win32.h"

namespace tarnwick {
namespace {

BOOL CALLBACK countBanner(HWND hwnd, LPARAM count) {
  wchar_t name[64] = {};
  if (::GetClassNameW(hwnd, name, 64) > 0 && std::wcscmp(name, kBannerClassName) == 0) {
    ++*reinterpret_cast<int32_t*>(count);
  }
  return TRUE;
}

RECT toRECT(const Rect& r) { return {r.left, r.top, r.right, r.bottom}; }
Rect fromRECT(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }

// The drawing record follows the machine's state before each picture, so
// that what is drawn is what the machine decided.
void copyState(const BannerState& state, BannerWindow& banner) {
  banner.askFirst = state.askFirst;
  banner.buttonsActive = state.buttonsActive ? 1 : 0;
  banner.pulseAlpha = state.pulseAlpha;
  banner.position = {state.position.x, state.position.y};
  banner.slideStep = state.slideStep;
  banner.safeNoticeShown = state.safeNoticeShown ? 1 : 0;
  banner.closeArmed = state.closeArmed ? 1 : 0;
  banner.explorerReleased = state.explorerReleased ? 1 : 0;
  banner.windowCreated = state.windowCreated ? 1 : 0;
  banner.okButtonRect = toRECT(state.okButtonRect);
  banner.cancelButtonRect = toRECT(state.cancelButtonRect);
}

}  // namespace

BannerCursors& bannerCursors() {
  static BannerCursors cursors;
  return cursors;
}

int32_t countBanners() {
  int32_t count = 0;
  ::EnumWindows(countBanner, reinterpret_cast<LPARAM>(&count));
  return count;
}

MutexWait waitForBannerMutex(HANDLE mutex, uint32_t limitMs) {
  switch (::WaitForSingleObject(mutex, limitMs)) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED:  // its holder ended without releasing it; it is ours now
      return MutexWait::Owned;
    default: return MutexWait::TimedOut;
  }
}

void WindowsBannerEffects::setTimer(uintptr_t id, uint32_t periodMs) {
  ::SetTimer(banner_.hwnd, id, periodMs, nullptr);
}

void WindowsBannerEffects::killTimer(uintptr_t id) { ::KillTimer(banner_.hwnd, id); }

void WindowsBannerEffects::postEject() { ::PostMessageW(banner_.hwnd, WM_BANNER_EJECT, 0, 0); }

Rect WindowsBannerEffects::workArea() {
  RECT area = {};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  return fromRECT(area);
}

int32_t WindowsBannerEffects::countBannersUnderMutex() {
  HANDLE mutex = banner_.placementMutex.get();
  // Counted after a time-out as well: the place then depends on a count
  // that another banner may be changing, which is better than no banner.
  const bool owned =
      mutex != nullptr && waitForBannerMutex(mutex, kPlacementWaitMs) == MutexWait::Owned;
  const int32_t count = countBanners();
  if (owned) ::ReleaseMutex(mutex);
  return count;
}

bool WindowsBannerEffects::ejectUnderMutex() {
  HANDLE mutex = banner_.placementMutex.get();
  if (mutex == nullptr || waitForBannerMutex(mutex, kEjectWaitMs) != MutexWait::Owned) return false;
  const bool ejected = ejectDevice(banner_.device, ejector_);
  ::ReleaseMutex(mutex);
  return ejected;
}

void WindowsBannerEffects::present(const BannerState& state, Rect& okButtonRect,
                                   Rect& cancelButtonRect) {
  copyState(state, banner_);
  banner_.present();
  if (state.buttonsActive) {
    okButtonRect = fromRECT(banner_.okButtonRect);
    cancelButtonRect = fromRECT(banner_.cancelButtonRect);
  }
}

bool WindowsBannerEffects::fadeImage() { return fadePixels(banner_.image()); }

void WindowsBannerEffects::presentFaded(Point position) {
  banner_.position = {position.x, position.y};
  banner_.presentImage();
}

void WindowsBannerEffects::bringToFront() { ::SetForegroundWindow(banner_.hwnd); }

void WindowsBannerEffects::showWindow() { ::ShowWindow(banner_.hwnd, SW_SHOW); }

void WindowsBannerEffects::showSuccessText() {
  banner_.bannerTextLength =
      static_cast<int32_t>(formatUnpluggedText(banner_.bannerText, banner_.device.friendlyName));
}

void WindowsBannerEffects::releaseExplorerWindows() {
  tarnwick::releaseExplorerWindows(banner_.device.driveLetter, closeExplorer_);
}

bool WindowsBannerEffects::diagnoseBlocker() {
  banner_.diagnoseBlocker();
  return banner_.notices.blockerNoticeShown != 0;
}

void WindowsBannerEffects::showSafeNotice() {
  banner_.showSafeNotice(true);
  banner_.safeNoticeShown = 1;
}

void WindowsBannerEffects::removeSafeNotice() {
  banner_.showSafeNotice(false);
  banner_.safeNoticeShown = 0;
}

void WindowsBannerEffects::removeBlockerNotice() {
  banner_.showBlockerNotice(false);
  banner_.notices.blockerNoticeShown = 0;
}

void WindowsBannerEffects::showShutdownWarning() {
  WindowsNoticePlatform platform(banner_.hwnd, nullptr);
  char16_t caption[kTitleCapacity] = {};
  char16_t text[kShutdownTextCapacity] = {};
  platform.loadString(kCaptionStringId, caption, kTitleCapacity);
  platform.loadString(messageId(Message::ShutdownWarning, banner_.notices.japanese), text,
                      kShutdownTextCapacity);
  ::MessageBoxW(banner_.hwnd, wide(text), wide(caption), MB_ICONERROR | MB_OK);
}

void WindowsBannerEffects::drainDeviceChanges() {
  MSG message;
  while (::PeekMessageW(&message, banner_.hwnd, WM_DEVICECHANGE, WM_DEVICECHANGE, PM_REMOVE)) {
  }
}

void WindowsBannerEffects::setCursor(BannerCursor cursor) {
  ::SetCursor(cursor == BannerCursor::Hand ? bannerCursors().hand : bannerCursors().arrow);
}

void WindowsBannerEffects::quit() { ::PostQuitMessage(0); }

}  // namespace tarnwick
