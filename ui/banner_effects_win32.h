// The banner's effects on Windows: the banner window's timers and messages,
// the banner mutex, the drawing record's image and notices, and the shell.
#pragma once

#include <windows.h>

#include "base/object_names.h"
#include "device/eject.h"
#include "ui/banner_machine.h"
#include "ui/banner_settings.h"
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

// How a wait for the banner mutex ended, and whether the waiter owns it now.
enum class MutexWait { Owned, TimedOut };

// Waits for the mutex. A mutex left abandoned by a banner process that ended
// while holding it is owned by the waiter from then on, like after a normal
// wait: the caller does its work and releases it.
MutexWait waitForBannerMutex(HANDLE mutex, uint32_t limitMs);

class WindowsBannerEffects final : public BannerEffects {
 public:
  // `banner` is the drawing record; its hwnd is the banner window once the
  // window exists (set from the window's creation message on). The eject
  // requests for its device go through `ejector`.
  WindowsBannerEffects(BannerWindow& banner, const BannerSettings& settings, EjectPlatform& ejector)
      : banner_(banner), ejector_(ejector), closeExplorer_(settings.closeExplorer) {}

  void setTimer(uintptr_t id, uint32_t periodMs) override;
  void killTimer(uintptr_t id) override;
  void postEject() override;
  Rect workArea() override;
  int32_t countBannersUnderMutex() override;
  bool ejectUnderMutex() override;
  void present(const BannerState& state, Rect& okButtonRect, Rect& cancelButtonRect) override;
  bool fadeImage() override;
  void presentFaded(Point position) override;
  void bringToFront() override;
  void showWindow() override;
  void showSuccessText() override;
  void releaseExplorerWindows() override;
  bool diagnoseBlocker() override;
  void showSafeNotice() override;
  void removeSafeNotice() override;
  void removeBlockerNotice() override;
  void showShutdownWarning() override;
  void drainDeviceChanges() override;
  void setCursor(BannerCursor cursor) override;
  void quit() override;

 private:
  BannerWindow& banner_;
  EjectPlatform& ejector_;
  bool closeExplorer_;
};

}  // namespace tarnwick
