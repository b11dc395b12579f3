#include "ui/banner_layout.h"

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

void expectRect(const Rect& r, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  EXPECT_EQ(r.left, left);
  EXPECT_EQ(r.top, top);
  EXPECT_EQ(r.right, right);
  EXPECT_EQ(r.bottom, bottom);
}

TEST(BannerLayout, MatchesTheWorkedExample) {
  const Extent text{300, 16};
  EXPECT_EQ(bannerImageWidth(text), 736);
  EXPECT_EQ(centredTop(text.height), 29);  // text at (36, 29), shadow at (36, 30)

  const ButtonLayout both = layoutButtons(736, {40, 16}, {14, 16}, true);
  expectRect(both.ok, 344, 29, 400, 45);
  expectRect(both.cancel, 404, 29, 460, 45);
  EXPECT_EQ(both.cornerSize, 16);
  EXPECT_EQ(both.textY, 29);
  EXPECT_EQ(both.okTextX, (40 - 14) / 2 + 8 + 344);
  EXPECT_EQ(both.cancelTextX, 8 + 404);

  const ButtonLayout cancelOnly = layoutButtons(736, {40, 16}, {14, 16}, false);
  expectRect(cancelOnly.ok, 344, 29, 400, 45);  // stored for the hit test all the same
  expectRect(cancelOnly.cancel, 348, 29, 404, 45);
}

TEST(BannerLayout, HalvesRoundDown) {
  EXPECT_EQ(centredTop(17), 28);
  EXPECT_EQ(centredTop(75), -1);  // a line taller than the band
  const ButtonLayout b = layoutButtons(500, {41, 17}, {44, 17}, true);
  EXPECT_EQ(b.ok.top, 28);
  EXPECT_EQ(b.okTextX, -2 + 8 + b.ok.left);  // (41 - 44) / 2 rounded down is -2
  EXPECT_EQ(b.cancelTextX, 8 + b.cancel.left);
}

}  // namespace
}  // namespace tarnwick
