// The banner's effects composed from their pieces: the eject request under
// the banner mutex, the diagnosis and the notices, the Explorer release and
// the texts. BannerComposer implements the machine's BannerEffects over the
// platforms of those pieces and BannerPlatform, which holds what is the
// window system's alone (the window, its image, the banner mutex, the
// message loop). The Windows side implements the platforms and nothing else.
#pragma once

#include <cstddef>
#include <cstdint>

#include "device/eject.h"
#include "shell/explorer_release.h"
#include "ui/banner_machine.h"
#include "ui/banner_settings.h"
#include "ui/notices.h"

namespace tarnwick {

// How a wait for the banner mutex ended. Abandoned: its holder ended without
// releasing it, and the wait made the waiter its owner all the same.
// TimedOut: the waiter does not own it (the wait ran out, or there is no
// mutex to wait for).
enum class MutexWait { Owned, Abandoned, TimedOut };

// What the banner's effects need of the window system.
class BannerPlatform {
 public:
  virtual ~BannerPlatform() = default;

  // As BannerEffects: timers of the banner window, WM_BANNER_EJECT posted
  // to it, and the primary monitor's work area.
  virtual void setTimer(uintptr_t id, uint32_t periodMs) = 0;
  virtual void killTimer(uintptr_t id) = 0;
  virtual void postEject() = 0;
  virtual Rect workArea() = 0;

  // Waits up to limitMs for the banner mutex "TRWK440630".
  virtual MutexWait waitBannerMutex(uint32_t limitMs) = 0;
  // Releases the banner mutex that the last wait made this thread own.
  virtual void releaseBannerMutex() = 0;
  // The top-level windows of class "ShadeWin" of every process, hidden and
  // fading ones included.
  virtual int32_t countBanners() = 0;

  // As BannerEffects: the image, its fading and the window.
  virtual void present(const BannerState& state, Rect& okButtonRect, Rect& cancelButtonRect) = 0;
  virtual bool fadeImage() = 0;
  virtual void presentFaded(Point position) = 0;
  virtual void bringToFront() = 0;
  virtual void showWindow() = 0;
  // Replaces the banner's text line, drawn from the next composition on.
  virtual void setText(const char16_t* text, size_t length) = 0;
  // A modal message box owned by the banner with an error icon and OK.
  virtual void showErrorBox(const char16_t* text, const char16_t* caption) = 0;

  virtual void drainDeviceChanges() = 0;
  virtual void setCursor(BannerCursor cursor) = 0;
  virtual void quit() = 0;
};

// The pieces of one banner that its effects act on; all of them outlive it.
struct BannerParts {
  BannerPlatform& platform;
  NoticePlatform& notices;
  ExplorerReleasePlatform& explorer;
  EjectPlatform& ejector;
  RemovableDevice& device;   // the device to eject and name
  NoticeState& noticeState;  // the notices' settings and state
  BlockerFinder* finder;     // the blocker search; none: nothing is diagnosed
};

class BannerComposer final : public BannerEffects {
 public:
  BannerComposer(const BannerParts& parts, const BannerSettings& settings)
      : parts_(parts), closeExplorer_(settings.closeExplorer) {}

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
  BannerParts parts_;
  bool closeExplorer_;
};

}  // namespace tarnwick
