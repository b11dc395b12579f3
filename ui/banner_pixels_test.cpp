#include "ui/banner_pixels.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace tarnwick {
namespace {

struct Pixel {
  uint8_t b, g, r, a;
  bool operator==(const Pixel& o) const { return b == o.b && g == o.g && r == o.r && a == o.a; }
};
std::ostream& operator<<(std::ostream& os, const Pixel& p) {
  return os << "{b" << int(p.b) << " g" << int(p.g) << " r" << int(p.r) << " a" << int(p.a) << "}";
}

// An image with its own memory, and the banner's ramps for its width.
struct TestImage {
  std::vector<uint8_t> memory;
  BannerImage image;
  std::vector<int32_t> highlight, body;

  explicit TestImage(int32_t width, int32_t height = kBannerHeight)
      : memory(static_cast<size_t>(width) * height * 4), highlight(width), body(width) {
    image.pixels = memory.data();
    image.width = width;
    image.height = height;
    computeRamps(width, highlight.data(), body.data());
  }
  TestImage(const TestImage& other)
      : memory(other.memory), image(other.image), highlight(other.highlight), body(other.body) {
    image.pixels = memory.data();  // the copy works on its own memory
  }
  Pixel get(int32_t x, int32_t y) const {
    const uint8_t* p = image.at(x, y);
    return {p[0], p[1], p[2], p[3]};
  }
  void set(int32_t x, int32_t y, Pixel v) {
    uint8_t* p = image.at(x, y);
    p[0] = v.b, p[1] = v.g, p[2] = v.r, p[3] = v.a;
  }
  void compose() { applyAlphaRows(image, highlight.data(), body.data()); }
};

TEST(BannerRamps, MatchTheWorkedExampleForWidth736) {
  TestImage t(736);
  EXPECT_EQ(t.highlight[0], 255);
  EXPECT_EQ(t.body[0], 216);
  EXPECT_EQ(t.body[114], 216);
  EXPECT_LT(t.body[115], 216);  // first column below the cap
  EXPECT_EQ(t.highlight[367], 255);
  EXPECT_EQ(t.body[367], 128);
  EXPECT_EQ(t.highlight[368], 254);
  EXPECT_EQ(t.body[368], 127);
  EXPECT_EQ(t.highlight[735], 0);
  EXPECT_EQ(t.body[735], 0);
  for (int x = 1; x < 736; ++x) {
    EXPECT_LE(t.highlight[x], t.highlight[x - 1]);
    EXPECT_LE(t.body[x], t.body[x - 1]);
  }
}

TEST(BannerRamps, AVeryWideImageDoesNotOverflow) {
  const int32_t width = 10000000;
  std::vector<int32_t> highlight(width), body(width);
  computeRamps(width, highlight.data(), body.data());
  EXPECT_EQ(body[0], 216);
  EXPECT_EQ(highlight[width / 2 + 1], 255 - 1);
  EXPECT_EQ(body[width - 1], 0);
}

TEST(BannerRows, RimIsBlackAndMirroredWithTheQuadraticAlphaOfTheExample) {
  TestImage t(736);
  fillBackground(t.image);
  t.compose();
  const int expected[18] = {0, 0, 0, 2, 3, 5, 8, 11, 14, 18, 23, 28, 33, 39, 45, 52, 59, 67};
  for (int y = 0; y < 18; ++y) {
    EXPECT_EQ(t.get(0, y), (Pixel{0, 0, 0, uint8_t(expected[y])})) << "row " << y;
    EXPECT_EQ(t.get(0, 73 - y), (Pixel{0, 0, 0, uint8_t(expected[y])})) << "row " << 73 - y;
    for (int x = 0; x < 736; ++x) {
      ASSERT_EQ(t.get(x, y), t.get(x, 73 - y));
      ASSERT_EQ(t.get(x, y).a, t.body[x] * y * y * 35 / 32400);
    }
  }
  EXPECT_EQ(t.get(735, 17).a, 0);  // transparent at the right end
}

TEST(BannerRows, HighlightIsPremultipliedWhiteAndBodyIsGreyAtTheRampOpacity) {
  TestImage t(736);
  fillBackground(t.image);
  t.compose();
  for (int x : {0, 115, 367, 368, 735}) {
    const uint8_t h = uint8_t(t.highlight[x]);
    EXPECT_EQ(t.get(x, 18), (Pixel{h, h, h, h}));
    EXPECT_EQ(t.get(x, 55), (Pixel{h, h, h, h}));
    const uint8_t b = uint8_t(t.body[x]);
    const uint8_t c = uint8_t(t.body[x] / 4);
    for (int y = 19; y <= 54; ++y) ASSERT_EQ(t.get(x, y), (Pixel{c, c, c, b}));
  }
  EXPECT_EQ(t.get(0, 30), (Pixel{54, 54, 54, 216}));
  // Every composed pixel is premultiplied: no colour byte above the alpha.
  for (int y = 0; y < 74; ++y)
    for (int x = 0; x < 736; ++x) {
      const Pixel p = t.get(x, y);
      ASSERT_LE(std::max({p.b, p.g, p.r}), p.a) << x << "," << y;
    }
}

TEST(BannerRows, DrawnPixelsBecomeOpaqueUnlessTheirGreenIsTheMarker) {
  TestImage t(736);
  fillBackground(t.image);
  t.set(40, 30, {0xFF, 0xFF, 0xFF, 0});  // white text
  t.set(41, 31, {0, 0, 0, 0});           // black shadow
  t.set(42, 30, {0x10, 0x40, 0xF0, 0});  // a drawn pixel that happens to have green 0x40
  t.set(43, 30, {0x00, 0x41, 0x00, 0});  // next to the marker: drawn
  t.set(44, 30, {0x00, 0x3F, 0x00, 0});
  t.set(45, 10, {0xFF, 0xFF, 0xFF, 0});  // drawn outside the body rows: overwritten
  t.set(46, 18, {0xFF, 0xFF, 0xFF, 0});
  t.compose();
  EXPECT_EQ(t.get(40, 30), (Pixel{0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(t.get(41, 31), (Pixel{0, 0, 0, 0xFF}));
  const uint8_t b = uint8_t(t.body[42]);
  EXPECT_EQ(t.get(42, 30), (Pixel{uint8_t(b / 4), uint8_t(b / 4), uint8_t(b / 4), b}));
  EXPECT_EQ(t.get(43, 30), (Pixel{0x00, 0x41, 0x00, 0xFF}));
  EXPECT_EQ(t.get(44, 30), (Pixel{0x00, 0x3F, 0x00, 0xFF}));
  EXPECT_EQ(t.get(45, 10), (Pixel{0, 0, 0, uint8_t(t.body[45] * 100 * 35 / 32400)}));
  const uint8_t h = uint8_t(t.highlight[46]);
  EXPECT_EQ(t.get(46, 18), (Pixel{h, h, h, h}));
}

TEST(BannerSymbol, BlendFollowsTheSourceOverFormulaAndIsClipped) {
  TestImage t(40);
  fillBackground(t.image);
  t.compose();
  std::vector<uint8_t> symbolMemory(18 * 18 * 4);
  BannerImage symbol{symbolMemory.data(), 18, 18};
  for (int y = 0; y < 18; ++y)
    for (int x = 0; x < 18; ++x) {
      const uint8_t a = uint8_t((x * 18 + y) * 255 / 323);  // every alpha from 0 to 255
      uint8_t* p = symbol.at(x, y);
      p[0] = p[1] = p[2] = p[3] = a;  // premultiplied white
    }
  const TestImage before = t;

  blendSymbol(t.image, symbol, 9, 28, 0);
  EXPECT_EQ(t.memory, before.memory);  // pulse 0: the body rows stay as they were

  for (uint8_t s : {uint8_t(255), uint8_t(200), uint8_t(31)}) {
    t.memory = before.memory;
    blendSymbol(t.image, symbol, 9, 28, s);
    for (int y = 0; y < 74; ++y)
      for (int x = 0; x < 40; ++x) {
        const Pixel d = before.get(x, y);
        Pixel expect = d;
        if (x >= 9 && x < 27 && y >= 28 && y < 46) {
          const uint8_t* src = symbol.at(x - 9, y - 28);
          const int keep = 255 - src[3] * s / 255;
          auto mix = [&](int k, uint8_t dv) { return uint8_t(src[k] * s / 255 + dv * keep / 255); };
          expect = {mix(0, d.b), mix(1, d.g), mix(2, d.r), mix(3, d.a)};
        }
        ASSERT_EQ(t.get(x, y), expect) << x << "," << y << " s=" << int(s);
      }
  }
  // A fully opaque source at full strength replaces the destination.
  t.memory = before.memory;
  blendSymbol(t.image, symbol, 9, 28, 255);
  EXPECT_EQ(t.get(9 + 17, 28 + 17), (Pixel{255, 255, 255, 255}));

  // Parts outside the image are left out; the part inside is blended.
  t.memory = before.memory;
  blendSymbol(t.image, symbol, 30, 65, 255);
  blendSymbol(t.image, symbol, -10, -10, 255);
  const uint8_t* src = symbol.at(9, 8);
  const Pixel d = before.get(39, 73);
  const int keep = 255 - src[3];
  EXPECT_EQ(t.get(39, 73),
            (Pixel{uint8_t(src[0] + d.b * keep / 255), uint8_t(src[1] + d.g * keep / 255),
                   uint8_t(src[2] + d.r * keep / 255), uint8_t(src[3] + d.a * keep / 255)}));
  EXPECT_EQ(t.get(29, 73), before.get(29, 73));
  const uint8_t* corner = symbol.at(17, 17);
  EXPECT_EQ(t.get(7, 7), (Pixel{corner[0], corner[1], corner[2], corner[3]}));
}

TEST(BannerFade, AnOpaqueImageNeeds32StepsAndSlides32Pixels) {
  TestImage t(736);
  fillBackground(t.image);
  t.set(40, 30, {0xFF, 0xFF, 0xFF, 0});
  t.compose();
  int32_t x = 0;
  for (int step = 1; step <= 30; ++step) ASSERT_TRUE(fadeStep(t.image, 1, x));
  EXPECT_TRUE(fadeStep(t.image, 1, x));  // the 31st
  EXPECT_EQ(t.get(40, 30), (Pixel{7, 7, 7, 7}));
  EXPECT_FALSE(fadeStep(t.image, 1, x));  // the 32nd clears it
  EXPECT_EQ(x, 32);
  for (size_t i = 0; i < t.memory.size(); ++i) ASSERT_EQ(t.memory[i], 0) << i;
  // Nothing left: false at once, and only the slide changes.
  EXPECT_FALSE(fadeStep(t.image, 0, x));
  EXPECT_EQ(x, 32);
}

TEST(BannerFade, LowAlphaClearsAtOnceAndAlphaZeroStaysAsItWas) {
  TestImage t(5, 1);
  t.set(0, 0, {8, 8, 8, 8});
  t.set(1, 0, {1, 0, 0, 1});
  t.set(2, 0, {9, 9, 9, 0});  // not premultiplied, alpha 0: untouched
  t.set(3, 0, {0, 0, 0, 0});
  t.set(4, 0, {3, 0, 0, 0});  // the same in the tail beyond whole groups of four
  EXPECT_FALSE(fadePixels(t.image));
  EXPECT_EQ(t.get(0, 0), (Pixel{0, 0, 0, 0}));
  EXPECT_EQ(t.get(1, 0), (Pixel{0, 0, 0, 0}));
  EXPECT_EQ(t.get(2, 0), (Pixel{9, 9, 9, 0}));
  EXPECT_EQ(t.get(4, 0), (Pixel{3, 0, 0, 0}));
}

TEST(BannerFade, EveryColourAndAlphaFollowsTheIntegerRule) {
  // Every (colour, alpha) pair once, in a width that leaves a partial group.
  const int32_t width = 257;
  TestImage t(width, 256);
  for (int a = 0; a < 256; ++a)
    for (int x = 0; x < width; ++x) {
      const uint8_t c = uint8_t(x % 256), d = uint8_t((x * 7 + a) % 256);
      t.set(x, a, {c, d, uint8_t(255 - c), uint8_t(a)});
    }
  const TestImage before = t;
  EXPECT_TRUE(fadePixels(t.image));
  for (int a = 0; a < 256; ++a)
    for (int x = 0; x < width; ++x) {
      const Pixel p = before.get(x, a);
      Pixel expect = p;
      if (a > 0 && a <= 8) expect = {0, 0, 0, 0};
      if (a > 8) {
        auto f = [&](uint8_t c) { return uint8_t(c * (a - 8) / a); };
        expect = {f(p.b), f(p.g), f(p.r), uint8_t(a - 8)};
      }
      ASSERT_EQ(t.get(x, a), expect) << "x " << x << " alpha " << a;
    }
}

}  // namespace
}  // namespace tarnwick
