// Where the banner draws its text, buttons and symbol, from the measured
// sizes of its texts. Image coordinates: x to the right, y down, origin at
// the top-left; rectangles exclude their right and bottom edges.
#pragma once

#include <cstdint>

namespace tarnwick {

struct Extent {
  int32_t width = 0;
  int32_t height = 0;
};

struct Rect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;

  bool contains(int32_t x, int32_t y) const {
    return x >= left && x < right && y >= top && y < bottom;
  }
};

constexpr int32_t kTextLeft = 36;
constexpr int32_t kImageExtraWidth = 436;   // room right of the text for buttons and the fading end
constexpr int32_t kButtonsFromRight = 392;  // the OK button starts this far left of the right edge
constexpr int32_t kButtonGap = 4;
constexpr int32_t kSymbolLeft = 9;
constexpr int32_t kSymbolTop = 28;
constexpr int32_t kSymbolSize = 18;

// Image width for the measured extent of the first text line.
inline int32_t bannerImageWidth(Extent textExtent) { return textExtent.width + kImageExtraWidth; }

// Top of a line of the given height centred in the 74 rows, rounded down
// (an arithmetic shift, so a line taller than the band rounds towards minus infinity).
inline int32_t centredTop(int32_t height) { return (74 - height) >> 1; }

struct ButtonLayout {
  Rect ok;
  Rect cancel;
  int32_t cornerSize = 0;  // width and height of the corner ellipse
  int32_t okTextX = 0;
  int32_t cancelTextX = 0;
  int32_t textY = 0;
};

// Both buttons are as wide as "Cancel" plus its height; with askFirst the
// Cancel button follows OK, otherwise it takes nearly OK's place.
ButtonLayout layoutButtons(int32_t imageWidth, Extent cancelText, Extent okText, bool askFirst);

}  // namespace tarnwick
