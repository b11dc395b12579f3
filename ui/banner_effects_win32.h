// The banner's platform on Windows: the banner window's timers, messages and
// cursor, the drawing record's image and text, and the banner mutex.
#pragma once

#include <windows.h>

#include "base/object_names.h"
#include "ui/banner_effects.h"
#include "ui/banner_window_win32.h"

namespace tarnwick {

// The system's cursors that the banner shows, loaded when its class is registered.
struct BannerCursors {
  HCURSOR arrow = nullptr;
  HCURSOR hand = nullptr;
};
BannerCursors& bannerCursors();

// The top-level windows of the banner class, of every process, hidden and
// fading ones included.
int32_t countBanners();

// Waits for the mutex. A mutex left abandoned by a banner process that ended
// while holding it is owned by the waiter from then on (Abandoned).
MutexWait waitForBannerMutex(HANDLE mutex, uint32_t limitMs);

class WindowsBannerPlatform final : public BannerPlatform {
 public:
  // `banner` is the drawing record; its hwnd is the banner window once the
  // window exists (set from the window's creation message on).
  explicit WindowsBannerPlatform(BannerWindow& banner) : banner_(banner) {}

  void setTimer(uintptr_t id, uint32_t periodMs) override;
  void killTimer(uintptr_t id) override;
  void postEject() override;
  Rect workArea() override;
  MutexWait waitBannerMutex(uint32_t limitMs) override;
  void releaseBannerMutex() override;
  int32_t countBanners() override;
  void present(const BannerState& state, Rect& okButtonRect, Rect& cancelButtonRect) override;
  bool fadeImage() override;
  void presentFaded(Point position) override;
  void bringToFront() override;
  void showWindow() override;
  void setText(const char16_t* text, size_t length) override;
  void showErrorBox(const char16_t* text, const char16_t* caption) override;
  void drainDeviceChanges() override;
  void setCursor(BannerCursor cursor) override;
  void quit() override;

 private:
  BannerWindow& banner_;
};

}  // namespace tarnwick
