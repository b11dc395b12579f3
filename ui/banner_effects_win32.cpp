#include "ui/banner_effects_win32.h"

#include <cwchar>

#include "base/text_win32.h"
#include "ui/banner_text.h"

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
    case WAIT_OBJECT_0: return MutexWait::Owned;
    case WAIT_ABANDONED: return MutexWait::Abandoned;
    default: return MutexWait::TimedOut;
  }
}

void WindowsBannerPlatform::setTimer(uintptr_t id, uint32_t periodMs) {
  ::SetTimer(banner_.hwnd, id, periodMs, nullptr);
}

void WindowsBannerPlatform::killTimer(uintptr_t id) { ::KillTimer(banner_.hwnd, id); }

void WindowsBannerPlatform::postEject() { ::PostMessageW(banner_.hwnd, WM_BANNER_EJECT, 0, 0); }

Rect WindowsBannerPlatform::workArea() {
  RECT area = {};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  return fromRECT(area);
}

MutexWait WindowsBannerPlatform::waitBannerMutex(uint32_t limitMs) {
  HANDLE mutex = banner_.placementMutex.get();
  if (mutex == nullptr) return MutexWait::TimedOut;
  return waitForBannerMutex(mutex, limitMs);
}

void WindowsBannerPlatform::releaseBannerMutex() { ::ReleaseMutex(banner_.placementMutex.get()); }

int32_t WindowsBannerPlatform::countBanners() { return tarnwick::countBanners(); }

void WindowsBannerPlatform::present(const BannerState& state, Rect& okButtonRect,
                                    Rect& cancelButtonRect) {
  copyState(state, banner_);
  banner_.present();
  if (state.buttonsActive) {
    okButtonRect = fromRECT(banner_.okButtonRect);
    cancelButtonRect = fromRECT(banner_.cancelButtonRect);
  }
}

bool WindowsBannerPlatform::fadeImage() { return fadePixels(banner_.image()); }

void WindowsBannerPlatform::presentFaded(Point position) {
  banner_.position = {position.x, position.y};
  banner_.presentImage();
}

void WindowsBannerPlatform::bringToFront() { ::SetForegroundWindow(banner_.hwnd); }

void WindowsBannerPlatform::showWindow() { ::ShowWindow(banner_.hwnd, SW_SHOW); }

void WindowsBannerPlatform::setText(const char16_t* text, size_t length) {
  if (length >= kBannerTextCapacity) length = kBannerTextCapacity - 1;
  for (size_t i = 0; i < length; ++i) banner_.bannerText[i] = text[i];
  banner_.bannerText[length] = 0;
  banner_.bannerTextLength = static_cast<int32_t>(length);
}

void WindowsBannerPlatform::showErrorBox(const char16_t* text, const char16_t* caption) {
  ::MessageBoxW(banner_.hwnd, wide(text), wide(caption), MB_ICONERROR | MB_OK);
}

void WindowsBannerPlatform::drainDeviceChanges() {
  MSG message;
  while (::PeekMessageW(&message, banner_.hwnd, WM_DEVICECHANGE, WM_DEVICECHANGE, PM_REMOVE)) {
  }
}

void WindowsBannerPlatform::setCursor(BannerCursor cursor) {
  ::SetCursor(cursor == BannerCursor::Hand ? bannerCursors().hand : bannerCursors().arrow);
}

void WindowsBannerPlatform::quit() { ::PostQuitMessage(0); }

}  // namespace tarnwick
