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

  // The pixels as an image; empty when the bitmap could not be created.
  BannerImage image() const;

  HWND hwnd = nullptr;          // the banner's window; null until it is created
  UniqueHandle placementMutex;  // the banner mutex: placement and ejections across workers
  RemovableDevice& device;      // the drive and device to eject; outlives the banner
  std::unique_ptr<BlockerFinder> finder;  // finds the process that keeps the drive busy
  bool askFirst = false;                  // wait for OK before an attempt; changed at run time
  int32_t buttonsActive = 0;   // the buttons are drawn and the mouse and keys act on them
  uint8_t pulseAlpha = 0;      // opacity of the symbol; 0 after success or Cancel
  SIZE imageSize = {};         // of the whole image: the text's width plus 436, by 74 rows
  SIZE textExtent = {};        // of the banner's text line in the text font
  RECT backgroundRect = {};    // the whole image, filled with the background brush
  POINT position = {};         // the window's top-left corner on the screen
  RECT okButtonRect = {};      // in image coordinates, stored when the buttons are drawn
  RECT cancelButtonRect = {};  // likewise
  char16_t bannerText[kBannerTextCapacity] = {};  // "Unplug  E:  Drive  -  <name>"
  int32_t safeNoticeShown = 0;      // the success balloon's icon is in the notification area
  int32_t slideStep = 0;            // pixels the window moves right per fade step: 0 or 1
  int32_t bannerTextLength = 0;     // units of bannerText
  UniqueMemoryDC imageDC;           // holds imageBitmap, the text font, the outline pen and a brush
  UniqueMemoryDC symbolDC;          // holds symbolBitmap
  UniqueGdiObject outlinePen;       // the buttons' 1-pixel outline, in the background marker colour
  UniqueGdiObject buttonBrush;      // white button faces
  UniqueGdiObject backgroundBrush;  // the background marker colour 0x004000
  UniqueGdiObject textFont;         // Tahoma, bold, 10 points
  UniqueGdiObject imageBitmap;      // the 32-bit image the window shows
  uint8_t* pixels = nullptr;        // imageBitmap's pixels; null when it could not be created
  UniqueGdiObject symbolBitmap;     // the premultiplied "no" sign, 18 by 18
  UniqueIcon smallIcon;             // the program's icon in 16 by 16, for the notification area
  std::unique_ptr<int32_t[]> highlightRamp;  // per-column alpha of the highlight rows
  std::unique_ptr<int32_t[]> bodyRamp;       // per-column alpha of the body rows
  int32_t closeArmed = 0;        // the next "device nodes changed" notice starts the fade-out
  int32_t explorerReleased = 0;  // Explorer windows on the drive were released once
  int32_t windowCreated = 0;     // window creation has returned; moves are recorded from then on
  NoticeState notices;           // what the balloons and the prompt read and write

 private:
  void drawButtons();
};

}  // namespace tarnwick
