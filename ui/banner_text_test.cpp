#include "ui/banner_text.h"

#include <gtest/gtest.h>

#include <string>

namespace tarnwick {
namespace {

TEST(BannerText, HasTwoBlanksAroundEachSeparatorAndFitsAnyName) {
  char16_t text[kBannerTextCapacity];
  EXPECT_EQ(formatUnplugText(text, u'E', u"Test Stick"), 32u);
  EXPECT_EQ(std::u16string(text), u"Unplug  E:  Drive  -  Test Stick");
  EXPECT_EQ(formatUnpluggedText(text, u"Test Stick"), 29u);
  EXPECT_EQ(std::u16string(text), u"Test Stick  can be unplugged.");

  const std::u16string longest(255, u'n');  // a friendly name fills 255 units at most
  EXPECT_EQ(formatUnplugText(text, u'E', longest.c_str()), 22u + 255u);
  const std::u16string huge(2000, u'h');
  EXPECT_EQ(formatUnpluggedText(text, huge.c_str()), 511u);
  const std::u16string end = u"h...  can be unplugged.";
  EXPECT_EQ(std::u16string(text).substr(511 - end.size()), end);
}

}  // namespace
}  // namespace tarnwick
