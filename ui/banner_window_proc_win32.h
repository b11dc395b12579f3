// The banner's window: its class, its creation with the placement, the
// window procedure that hands each message to the banner's machine, and the
// thread's message loop.
#pragma once

#include <windows.h>

#include "device/eject.h"
#include "shell/explorer_release_win32.h"
#include "ui/banner_effects.h"
#include "ui/banner_effects_win32.h"
#include "ui/banner_machine.h"
#include "ui/banner_settings.h"
#include "ui/banner_window_win32.h"
#include "ui/notices_win32.h"

namespace tarnwick {

// Loads the arrow and hand cursors and registers the class "ShadeWin".
bool registerBannerClass();

// The banner's behaviour on its window: the machine, its effects composed
// from their pieces, and the Windows platforms those act on (the window and
// drawing record, the notices, the Explorer release thread). The window's
// slot 0 points here. Built after the drawing record and destroyed before
// it; destroying it destroys the window. Its eject requests go through
// `ejector`, which outlives it.
class BannerBehaviour {
 public:
  BannerBehaviour(BannerWindow& banner, const BannerSettings& settings, EjectPlatform& ejector);
  ~BannerBehaviour();
  BannerBehaviour(const BannerBehaviour&) = delete;
  BannerBehaviour& operator=(const BannerBehaviour&) = delete;

  // Creates the window; it is placed and shown, and its first attempt or its
  // pulse is under way, when this returns true. False, with nothing
  // created, when the image, the ramps or the blocker finder are missing or
  // the window cannot be created.
  bool createWindow();

  BannerMachine& machine() { return machine_; }
  BannerWindow& banner() { return banner_; }

 private:
  BannerWindow& banner_;
  WindowsBannerPlatform platform_;
  WindowsNoticePlatform notices_;
  WindowsExplorerReleasePlatform explorer_;
  BannerComposer effects_;
  BannerMachine machine_;
};

LRESULT CALLBACK bannerWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Dispatches the thread's messages until the quit message.
void runMessageLoop();

}  // namespace tarnwick
