// The banner's behaviour as a state machine: one handler per window event,
// all state in one plain record, and every effect on the system (timers,
// posted messages, drawing, the banner mutex, the notices, the shell)
// through BannerEffects. The window procedure decodes each message, calls
// the handler and returns the handler's result; the machine itself never
// calls the system, so it runs unchanged under a fake in host tests.
//
// Messages that the banner sends to itself (the armed device change after a
// success, from the auto-close timer and from the success balloon's
// callback; the shutdown warning from the end-of-session query) are not
// effects: the handler calls the target handler directly and goes on when it
// has returned, which is what a synchronous send to the own window does.
//
// Handlers may be re-entered while an effect runs a modal loop (the
// terminate prompt of the diagnosis, the shutdown warning box) or dispatches
// sent messages (draining device changes); they keep no copies of the state
// across an effect.
#pragma once

#include <cstdint>

#include "ui/banner_layout.h"
#include "ui/banner_messages.h"
#include "ui/banner_settings.h"

namespace tarnwick {

// Timer periods in milliseconds (ids in banner_messages.h).
constexpr uint32_t kStartDelayMs = 10;         // TIMER_START
constexpr uint32_t kFadeStepMs = 30;           // TIMER_FADE_OUT
constexpr uint32_t kPulseStepMs = 60;          // TIMER_PULSE
constexpr uint32_t kAutoCloseMs = 60000;       // TIMER_AUTO_CLOSE
constexpr uint32_t kRemovedArmDelayMs = 1000;  // TIMER_REMOVED

// Limits of the waits for the banner mutex "TRWK440630".
constexpr uint32_t kPlacementWaitMs = 6000;
constexpr uint32_t kEjectWaitMs = 360000;

// Values of the window system that the handlers take and return.
constexpr uintptr_t kDeviceNodesChanged = 0x0007;    // DBT_DEVNODES_CHANGED
constexpr uintptr_t kDeviceRemoveComplete = 0x8004;  // DBT_DEVICEREMOVECOMPLETE
constexpr uint32_t kKeyReturn = 0x0D;                // VK_RETURN
constexpr uint32_t kKeyEscape = 0x1B;                // VK_ESCAPE
constexpr intptr_t kHitClient = 1;                   // HTCLIENT
constexpr intptr_t kHitCaption = 2;                  // HTCAPTION
constexpr intptr_t kHandled = 1;                     // TRUE

// Banners after the first are placed this many pixels higher each.
constexpr int32_t kBannerStackStep = 56;
// One pulse tick lowers the symbol's opacity by this much; below
// kPulseCycleEnd the cycle ends and the opacity returns to 255.
constexpr uint8_t kPulseAlphaStep = 16;
constexpr uint8_t kPulseCycleEnd = 32;

struct Point {
  int32_t x = 0;
  int32_t y = 0;
};

enum class BannerCursor { Arrow, Hand };

// What the worker hands the banner when it builds it. The banner owns these
// from then on; nothing is read back.
// Everything the event handlers read and write.
struct BannerState {
  char16_t driveLetter = 0;
  Extent imageSize;
  // True: an attempt waits for OK, and both buttons are shown. False:
  // attempts start by themselves and only Cancel is shown.
  bool askFirst = false;
  bool buttonsActive = false;  // buttons drawn; mouse and keys act on them
  bool systemNotices = false;
  // Opacity of the pulsing symbol; 0 once the banner is finished (after a
  // success or Cancel).
  uint8_t pulseAlpha = 0;
  Point position;                 // screen position of the window's top-left corner
  int32_t slideStep = 0;          // pixels moved right per fade step: 0 or 1
  bool closeArmed = false;        // the next DBT_DEVNODES_CHANGED starts the fade-out
  bool explorerReleased = false;  // the Explorer release has run
  bool windowCreated = false;     // window creation has returned
  bool safeNoticeShown = false;
  bool blockerNoticeShown = false;
  // A diagnosis runs: its terminate prompt may be open, and the handlers
  // that its modal loop dispatches neither diagnose nor attempt meanwhile.
  bool diagnosing = false;
  // In image (client) coordinates, as the last composition with buttons
  // drew them; both are kept even when only Cancel is drawn.
  Rect okButtonRect;
  Rect cancelButtonRect;
};

// Every effect of the banner on the system. BannerComposer (banner_effects.h)
// implements it over the platforms of the banner's pieces; tests record it.
class BannerEffects {
 public:
  virtual ~BannerEffects() = default;

  // Starts a timer of the banner window; setting one that runs restarts it
  // with the new period.
  virtual void setTimer(uintptr_t id, uint32_t periodMs) = 0;
  virtual void killTimer(uintptr_t id) = 0;
  // Posts WM_BANNER_EJECT to the banner window.
  virtual void postEject() = 0;

  // The primary monitor's work area in screen coordinates.
  virtual Rect workArea() = 0;
  // Waits up to kPlacementWaitMs for the banner mutex, counts the top-level
  // windows of class "ShadeWin" (every process, this banner, hidden and
  // fading ones included) whether or not the mutex was had, and releases it
  // when it was had. A wait that reports the mutex abandoned has it (the
  // wait makes this thread its owner): the count is taken and the mutex
  // released like after a normal wait, so it is never kept owned.
  virtual int32_t countBannersUnderMutex() = 0;
  // Waits up to kEjectWaitMs for the banner mutex; when it is had (an
  // abandoned mutex included, as above), makes the eject request for the
  // device and releases the mutex. True when the device was ejected; false
  // when the request was refused or the wait ran out (no request made then).
  virtual bool ejectUnderMutex() = 0;

  // Composes the image from `state` (its text line, buttonsActive, askFirst
  // for which buttons, pulseAlpha) and hands it to the window system at
  // state.position. When the buttons are drawn, stores both button
  // rectangles in the two arguments; otherwise leaves them as they are.
  virtual void present(const BannerState& state, Rect& okButtonRect, Rect& cancelButtonRect) = 0;
  // Fades the last composed image by one step in place; true while
  // something is left to fade.
  virtual bool fadeImage() = 0;
  // Hands the image over as it is (no composition) at `position`.
  virtual void presentFaded(Point position) = 0;
  virtual void bringToFront() = 0;
  virtual void showWindow() = 0;
  // Replaces the text line with the success text ("<name>  can be unplugged.").
  virtual void showSuccessText() = 0;

  // Moves Explorer windows that show the drive elsewhere (or closes them);
  // returns within 6000 ms.
  virtual void releaseExplorerWindows() = 0;
  // Searches for the blocker and reports it (terminate prompt or blocker
  // balloon). Called only while no blocker balloon is shown; true when it
  // showed the blocker balloon.
  virtual bool diagnoseBlocker() = 0;
  virtual void showSafeNotice() = 0;
  virtual void removeSafeNotice() = 0;
  virtual void removeBlockerNotice() = 0;
  // The modal shutdown warning box owned by the banner.
  virtual void showShutdownWarning() = 0;

  // Removes every WM_DEVICECHANGE already queued for the banner window.
  virtual void drainDeviceChanges() = 0;
  virtual void setCursor(BannerCursor cursor) = 0;
  // Ends the message loop (PostQuitMessage(0)).
  virtual void quit() = 0;
};

class BannerMachine {
 public:
  // `settings` as the worker gave them; the drive served and the image size
  // come from the device and the drawing.
  BannerMachine(BannerEffects& effects, const BannerSettings& settings, char16_t driveLetter,
                Extent imageSize);
  BannerMachine(const BannerMachine&) = delete;
  BannerMachine& operator=(const BannerMachine&) = delete;

  const BannerState& state() const { return state_; }

  // Each handler returns the window procedure's result for its message.

  // WM_CREATE: places the banner above the ones already shown, presents and
  // shows it, and starts the pulse (askFirst) or the first attempt.
  intptr_t onCreate();
  // Window creation has returned with the window: WM_MOVE counts from now.
  void onWindowCreated();
  // WM_TIMER with the timer id in wParam.
  intptr_t onTimer(uintptr_t id);
  // WM_BANNER_EJECT: one ejection attempt.
  intptr_t onEject();
  // WM_LBUTTONDOWN at a client point (signed low and high word of lParam).
  intptr_t onLeftButtonDown(Point client);
  // WM_KEYDOWN with the virtual key in wParam.
  intptr_t onKeyDown(uint32_t key);
  // WM_DEVICECHANGE with its event in wParam.
  intptr_t onDeviceChange(uintptr_t event);
  // WM_BANNER_SAFE_NOTICE / WM_BANNER_BLOCKER_NOTICE with the notification
  // event in lParam.
  intptr_t onSafeNotice(uint32_t event);
  intptr_t onBlockerNotice(uint32_t event);
  // WM_BANNER_QUERY_DRIVE: 1 when wParam is exactly this banner's drive letter.
  intptr_t onQueryDrive(uintptr_t letter) const;
  // WM_QUERYENDSESSION: warns and refuses (0).
  intptr_t onQueryEndSession();
  // WM_BANNER_SHUTDOWN_WARNING.
  intptr_t onShutdownWarning();
  // WM_NCHITTEST with the screen point of lParam converted to client
  // coordinates by the caller: the buttons are client, the rest a caption.
  intptr_t onHitTest(Point client) const;
  // WM_SETCURSOR with the hit-test code (low word of lParam).
  intptr_t onSetCursor(uint32_t hitCode);
  // WM_MOVING: pins the dragged rectangle's left edge and keeps it inside
  // the work area vertically.
  intptr_t onMoving(Rect& rect);
  // WM_MOVE with the new top (signed high word of lParam).
  intptr_t onMove(int32_t top);
  // WM_DESTROY.
  intptr_t onDestroy();

 private:
  void present();
  void okAction();
  void cancelAction();
  void diagnose();
  void attemptSucceeded();
  void attemptFailed();
  void pulseTick();
  void fadeTick();
  void armAndClose();

  BannerEffects& effects_;
  BannerState state_;
};

}  // namespace tarnwick
