#include "ui/banner_pixels.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tarnwick {
namespace {

// Pixels are read and written as one 32-bit value, b | g << 8 | r << 16 | a << 24
// on the little-endian machines the program runs on; memcpy keeps the access
// well-defined on byte memory and compiles to a single move.
inline uint32_t load32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
inline void store32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

// Premultiplied grey 0x40 at the body opacity b: colour bytes b / 4, alpha b.
inline uint32_t bodyPixel(int32_t b) {
  const uint32_t a = static_cast<uint32_t>(b);
  return (a >> 2) * 0x010101u | a << 24;
}

// The fade's division c * (a - 8) / a as a multiplication: with
// m = ceil(65536 * (a - 8) / a), (c * m) >> 16 is exactly that quotient for
// every c and a up to 255 (the error c * (m - 65536 (a - 8) / a) / 65536 stays
// below 1 / a). Alpha itself follows the same rule: (a * m) >> 16 = a - 8.
// Alpha 1-8 has multiplier 0, which clears the pixel. Each entry holds the
// multiplier four times, once per byte of a pixel widened to 16 bits.
struct FadeMultipliers {
  uint64_t entry[256] = {};
  constexpr FadeMultipliers() {
    for (uint32_t a = kFadeAlphaStep + 1; a < 256; ++a) {
      const uint64_t m = (65536u * (a - kFadeAlphaStep) + a - 1) / a;
      entry[a] = m * 0x0001000100010001ull;
    }
  }
};
constexpr FadeMultipliers kFade;

// The rim's division b * y * y * 35 / 32400 as a multiplication for the
// block path: with m = ceil(2^17 * y * y * 35 / 32400), (b * m) >> 17 gives
// the same quotient for every ramp value b from 0 to 216 (the body ramp's
// cap), as the check below confirms at compile time.
struct RimMultipliers {
  uint16_t entry[kRimRows] = {};
  constexpr RimMultipliers() {
    for (int32_t y = 0; y < kRimRows; ++y) {
      const int64_t f = int64_t(y) * y * 35;
      entry[y] = static_cast<uint16_t>(((int64_t(1) << 17) * f + 32399) / 32400);
    }
  }
  constexpr bool exact() const {
    for (int32_t y = 0; y < kRimRows; ++y) {
      for (int32_t b = 0; b <= 216; ++b) {
        if (((b * int32_t(entry[y])) >> 17) != b * y * y * 35 / 32400) return false;
      }
    }
    return true;
  }
};
constexpr RimMultipliers kRim;
static_assert(kRim.exact(), "rim multipliers must reproduce the integer division");

inline uint32_t fadePixel(uint32_t p) {
  const uint32_t a = p >> 24;
  if (a == 0) return p;
  const uint32_t m = static_cast<uint32_t>(kFade.entry[a] & 0xFFFF);
  return ((p & 0xFF) * m >> 16) | (((p >> 8) & 0xFF) * m >> 16) << 8 |
         (((p >> 16) & 0xFF) * m >> 16) << 16 | (a * m >> 16) << 24;
}

// Fades `count` pixels; returns the largest alpha seen before the step.
uint32_t fadeScalar(uint8_t* p, size_t count) {
  uint32_t highest = 0;
  for (size_t i = 0; i < count; ++i, p += 4) {
    const uint32_t v = load32(p);
    if ((v >> 24) > highest) highest = v >> 24;
    store32(p, fadePixel(v));
  }
  return highest;
}

#if defined(__SSE2__)
// Four pixels at a time: the bytes are widened to 16 bits, multiplied by
// their pixel's multiplier keeping the high half, and packed again. Pixels
// with alpha 0 are put back unchanged.
uint32_t fadeBlock(uint8_t* p, size_t count) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i alphaMask = _mm_set1_epi32(static_cast<int>(0xFF000000u));
  __m128i highest = zero;
  size_t i = 0;
  for (; i + 4 <= count; i += 4, p += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i transparent = _mm_cmpeq_epi32(_mm_and_si128(v, alphaMask), zero);
    // Four transparent pixels stay as they are. Half the banner (its rims)
    // is transparent after the first few steps of a fade.
    if (_mm_movemask_epi8(transparent) == 0xFFFF) continue;
    const __m128i m0 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(&kFade.entry[p[3]]));
    const __m128i m1 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(&kFade.entry[p[7]]));
    const __m128i m2 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(&kFade.entry[p[11]]));
    const __m128i m3 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(&kFade.entry[p[15]]));
    const __m128i low = _mm_mulhi_epu16(_mm_unpacklo_epi8(v, zero), _mm_unpacklo_epi64(m0, m1));
    const __m128i high = _mm_mulhi_epu16(_mm_unpackhi_epi8(v, zero), _mm_unpacklo_epi64(m2, m3));
    const __m128i faded = _mm_or_si128(_mm_packus_epi16(low, high), _mm_and_si128(v, transparent));
    highest = _mm_max_epu8(highest, v);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), faded);
  }
  alignas(16) uint8_t bytes[16];
  _mm_store_si128(reinterpret_cast<__m128i*>(bytes), highest);
  uint32_t result = fadeScalar(p, count - i);
  for (int k = 3; k < 16; k += 4) {
    if (bytes[k] > result) result = bytes[k];
  }
  return result;
}
#else
uint32_t fadeBlock(uint8_t* p, size_t count) { return fadeScalar(p, count); }
#endif

// One pixel of a rim row, of a body row.
inline uint32_t rimPixel(int32_t b, int32_t y) {
  return static_cast<uint32_t>(b * (y * y * 35) / 32400) << 24;
}
inline uint32_t bodyRowPixel(uint32_t v, int32_t b) {
  return ((v >> 8) & 0xFF) == kBackgroundGreen ? bodyPixel(b) : (v | 0xFF000000u);
}

#if defined(__SSE2__)
void fillPixels(uint8_t* p, size_t count, uint32_t value) {
  const __m128i v = _mm_set1_epi32(static_cast<int>(value));
  size_t i = 0;
  for (; i + 4 <= count; i += 4, p += 16) _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
  for (; i < count; ++i, p += 4) store32(p, value);
}

// Writes rim row y into `upper` and its mirror `lower`, eight columns at a time.
void rimRow(uint8_t* upper, uint8_t* lower, const int32_t* ramp, int32_t width, int32_t y) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i m = _mm_set1_epi16(static_cast<short>(kRim.entry[y]));
  int32_t x = 0;
  for (; x + 8 <= width; x += 8) {
    const __m128i b =
        _mm_packs_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(ramp + x)),
                        _mm_loadu_si128(reinterpret_cast<const __m128i*>(ramp + x + 4)));
    const __m128i a = _mm_srli_epi16(_mm_mulhi_epu16(b, m), 1);
    const __m128i low = _mm_slli_epi32(_mm_unpacklo_epi16(a, zero), 24);
    const __m128i high = _mm_slli_epi32(_mm_unpackhi_epi16(a, zero), 24);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(upper + x * 4), low);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(upper + x * 4 + 16), high);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(lower + x * 4), low);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(lower + x * 4 + 16), high);
  }
  for (; x < width; ++x) {
    store32(upper + x * 4, rimPixel(ramp[x], y));
    store32(lower + x * 4, rimPixel(ramp[x], y));
  }
}

// One body row, four pixels at a time: the marker test selects between the
// grey body pixel of the column and the drawn pixel made opaque.
void bodyRow(uint8_t* p, const int32_t* ramp, int32_t width) {
  const __m128i greenMask = _mm_set1_epi32(0xFF00);
  const __m128i marker = _mm_set1_epi32(kBackgroundGreen << 8);
  const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000u));
  int32_t x = 0;
  for (; x + 4 <= width; x += 4, p += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ramp + x));
    const __m128i c = _mm_srli_epi32(b, 2);
    const __m128i grey = _mm_or_si128(_mm_or_si128(c, _mm_slli_epi32(c, 8)),
                                      _mm_or_si128(_mm_slli_epi32(c, 16), _mm_slli_epi32(b, 24)));
    const __m128i background = _mm_cmpeq_epi32(_mm_and_si128(v, greenMask), marker);
    const __m128i drawn = _mm_or_si128(v, opaque);
    const __m128i result =
        _mm_xor_si128(drawn, _mm_and_si128(_mm_xor_si128(drawn, grey), background));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), result);
  }
  for (; x < width; ++x, p += 4) store32(p, bodyRowPixel(load32(p), ramp[x]));
}
#else
void fillPixels(uint8_t* p, size_t count, uint32_t value) {
  for (size_t i = 0; i < count; ++i, p += 4) store32(p, value);
}

void rimRow(uint8_t* upper, uint8_t* lower, const int32_t* ramp, int32_t width, int32_t y) {
  for (int32_t x = 0; x < width; ++x) {
    store32(upper + x * 4, rimPixel(ramp[x], y));
    store32(lower + x * 4, rimPixel(ramp[x], y));
  }
}

void bodyRow(uint8_t* p, const int32_t* ramp, int32_t width) {
  for (int32_t x = 0; x < width; ++x, p += 4) store32(p, bodyRowPixel(load32(p), ramp[x]));
}
#endif

}  // namespace

void computeRamps(int32_t width, int32_t* highlightRamp, int32_t* bodyRamp) {
  for (int32_t x = 0; x < width; ++x) {
    const int32_t n = width - 1 - x;
    // 64-bit product: a very wide image must not overflow n * 256.
    const int32_t b = static_cast<int32_t>(static_cast<int64_t>(n) * 256 / width);
    highlightRamp[x] = 2 * b < 255 ? 2 * b : 255;
    bodyRamp[x] = b < 216 ? b : 216;
  }
}

void fillBackground(const BannerImage& image) {
  fillPixels(image.pixels, image.byteCount() / 4, static_cast<uint32_t>(kBackgroundGreen) << 8);
}

void applyRimRows(const BannerImage& image, const int32_t* bodyRamp) {
  for (int32_t y = 0; y < kRimRows; ++y) {
    rimRow(image.row(y), image.row(kBannerHeight - 1 - y), bodyRamp, image.width, y);
  }
}

void applyHighlightRows(const BannerImage& image, const int32_t* highlightRamp) {
  uint8_t* upper = image.row(kUpperHighlightRow);
  for (int32_t x = 0; x < image.width; ++x) {
    store32(upper + static_cast<size_t>(x) * 4,
            static_cast<uint32_t>(highlightRamp[x]) * 0x01010101u);
  }
  std::memcpy(image.row(kLowerHighlightRow), upper, static_cast<size_t>(image.width) * 4);
}

void applyBodyRows(const BannerImage& image, const int32_t* bodyRamp) {
  for (int32_t y = kFirstBodyRow; y <= kLastBodyRow; ++y)
    bodyRow(image.row(y), bodyRamp, image.width);
}

void applyAlphaRows(const BannerImage& image, const int32_t* highlightRamp,
                    const int32_t* bodyRamp) {
  applyRimRows(image, bodyRamp);
  applyHighlightRows(image, highlightRamp);
  applyBodyRows(image, bodyRamp);
}

void blendSymbol(const BannerImage& image, const BannerImage& symbol, int32_t left, int32_t top,
                 uint8_t constantAlpha) {
  const uint32_t s = constantAlpha;
  if (s == 0) return;
  for (int32_t sy = 0; sy < symbol.height; ++sy) {
    const int32_t y = top + sy;
    if (y < 0 || y >= image.height) continue;
    for (int32_t sx = 0; sx < symbol.width; ++sx) {
      const int32_t x = left + sx;
      if (x < 0 || x >= image.width) continue;
      const uint8_t* src = symbol.at(sx, sy);
      uint8_t* dst = image.at(x, y);
      const uint32_t keep = 255 - src[3] * s / 255;
      for (int k = 0; k < 4; ++k) {
        const uint32_t value = src[k] * s / 255 + dst[k] * keep / 255;
        dst[k] = static_cast<uint8_t>(value < 255 ? value : 255);
      }
    }
  }
}

bool fadePixels(const BannerImage& image) {
  return fadeBlock(image.pixels, image.byteCount() / 4) > static_cast<uint32_t>(kFadeAlphaStep);
}

bool fadeStep(const BannerImage& image, int32_t slideStep, int32_t& positionX) {
  const bool more = fadePixels(image);
  if (slideStep != 0) positionX += slideStep;
  return more;
}

}  // namespace tarnwick
