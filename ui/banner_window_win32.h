// The record behind the banner: its window, drawing resources, image,
// animation and notification state. One per worker process; the window
// procedure finds it in the window's extra slot 0.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

#include "base/owners_win32.h"
#include "device/removable_device.h"
#include "ui/banner_pixels.h"
#include "ui/banner_settings.h"
#include "ui/banner_text.h"
#include "ui/notices.h"

namespace tarnwick {

class BannerWindow {
 public:
  // Builds every resource in turn; one that cannot be created stays null and
  // the rest is built all the same (the window's creation checks the image,
  // the ramps and the finder). The banner keeps its own copy of `settings`.
  BannerWindow(RemovableDevice& device, const BannerSettings& settings);
  ~BannerWindow();
  BannerWindow(const BannerWindow&) = delete;
  BannerWindow& operator=(const BannerWindow&) = delete;

  // Draws the whole image from the current state into `pixels`.
  void compose();
  // Composes and hands the image to the window system.
  bool present();
  // Hands the image over as it is: the presentation of a fade step.
  bool presentImage();
  // One fade step on the last composed image, with the slide.
  bool fadeStep();

  void showSafeNotice(bool show);
  void showBlockerNotice(bool show);
  void diagnoseBlocker();

  // The pixels as an image; empty when the bitmap could not be created.
  BannerImage image() const;

  HWND hwnd = nullptr;
  UniqueHandle placementMutex;
  RemovableDevice& device;
  std::unique_ptr<BlockerFinder> finder;
  bool askFirst = false;
  int32_t buttonsActive = 0;
  uint8_t pulseAlpha = 0;
  SIZE imageSize = {};
  SIZE textExtent = {};
  RECT backgroundRect = {};
  POINT position = {};
  RECT okButtonRect = {};
  RECT cancelButtonRect = {};
  char16_t bannerText[kBannerTextCapacity] = {};
  int32_t safeNoticeShown = 0;
  int32_t slideStep = 0;
  int32_t bannerTextLength = 0;
  UniqueMemoryDC imageDC;
  UniqueMemoryDC symbolDC;
  UniqueGdiObject outlinePen;
  UniqueGdiObject buttonBrush;
  UniqueGdiObject backgroundBrush;
  UniqueGdiObject textFont;
  UniqueGdiObject imageBitmap;
  uint8_t* pixels = nullptr;
  UniqueGdiObject symbolBitmap;
  UniqueIcon smallIcon;
  std::unique_ptr<int32_t[]> highlightRamp;
  std::unique_ptr<int32_t[]> bodyRamp;
  int32_t closeArmed = 0;
  int32_t explorerReleased = 0;
  int32_t windowCreated = 0;
  NoticeState notices;

 private:
  void drawButtons();
};

}  // namespace tarnwick
