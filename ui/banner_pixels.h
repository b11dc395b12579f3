// The banner's per-pixel rules on a plain 32-bit image: the alpha ramps, the
// rim, highlight and body rows, the symbol blend and the fade. The Windows
// side draws text and buttons into the same memory through a device context;
// everything here works on the bytes alone, so it is tested in memory.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarnwick {

constexpr int32_t kBannerHeight = 74;
constexpr int32_t kRimRows = 18;  // rows 0-17 and 56-73
constexpr int32_t kUpperHighlightRow = 18;
constexpr int32_t kLowerHighlightRow = 55;
constexpr int32_t kFirstBodyRow = 19;
constexpr int32_t kLastBodyRow = 54;
constexpr uint8_t kBackgroundGreen = 0x40;  // green byte of the background marker 0x004000
constexpr int32_t kFadeAlphaStep = 8;

// Pixels of 4 bytes (blue, green, red, alpha), premultiplied, rows of
// width * 4 bytes without gaps, stored bottom-up: image row y (0 = top) is
// memory row height - 1 - y. The image does not own its memory.
struct BannerImage {
  uint8_t* pixels = nullptr;
  int32_t width = 0;
  int32_t height = 0;

  uint8_t* row(int32_t y) const {
    return pixels + static_cast<size_t>(height - 1 - y) * static_cast<size_t>(width) * 4;
  }
  uint8_t* at(int32_t x, int32_t y) const { return row(y) + static_cast<size_t>(x) * 4; }
  size_t byteCount() const { return static_cast<size_t>(width) * static_cast<size_t>(height) * 4; }
};

// Per-column alpha of the highlight rows and of the body: both fall from the
// left edge to 0 in the last column; the highlight is capped at 255, the body
// at 216. Each array has `width` entries.
void computeRamps(int32_t width, int32_t* highlightRamp, int32_t* bodyRamp);

// What filling the image with the background brush does: every pixel blue 0,
// green 0x40, red 0, alpha 0.
void fillBackground(const BannerImage& image);

// Rows 0-17 and their mirrors 73-56: black with alpha
// bodyRamp[x] * y * y * 35 / 32400, a soft shadow above and below the body.
// The ramp is the one computeRamps makes (values 0 to 216).
void applyRimRows(const BannerImage& image, const int32_t* bodyRamp);

// Rows 18 and 55: premultiplied white at highlightRamp[x].
void applyHighlightRows(const BannerImage& image, const int32_t* highlightRamp);

// Rows 19-54: a pixel whose green byte is exactly 0x40 is background and
// becomes grey 0x40 at the body opacity (premultiplied); every other pixel
// was drawn (text, shadow, button faces) and becomes opaque.
void applyBodyRows(const BannerImage& image, const int32_t* bodyRamp);

// The three passes above in their order, over an image whose background,
// text and buttons are drawn.
void applyAlphaRows(const BannerImage& image, const int32_t* highlightRamp,
                    const int32_t* bodyRamp);

// Source-over blend of a premultiplied image (the symbol) at (left, top) with
// the constant opacity `constantAlpha`: each destination byte d becomes
// src * s / 255 + d * (255 - srcAlpha * s / 255) / 255. Parts of the symbol
// outside the image are left out. At s = 0 nothing changes.
void blendSymbol(const BannerImage& image, const BannerImage& symbol, int32_t left, int32_t top,
                 uint8_t constantAlpha);

// One fade step over every pixel: alpha 0 stays as it is; alpha 1-8 clears
// the pixel; otherwise alpha drops by 8 and each colour byte c becomes
// c * (a - 8) / a. True while some pixel keeps an alpha above 0.
bool fadePixels(const BannerImage& image);

// The banner's fade step: the pixels fade and the window moves `slideStep`
// pixels to the right. True while something is left to fade.
bool fadeStep(const BannerImage& image, int32_t slideStep, int32_t& positionX);

}  // namespace tarnwick
