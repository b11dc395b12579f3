#include "base/text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace tarnwick {
namespace {

TEST(Text, ShortensToCapacityAndAlwaysTerminates) {
  char16_t buffer[5];
  EXPECT_TRUE(copyText(buffer, u"abcd"));
  EXPECT_EQ(std::u16string(buffer), u"abcd");
  EXPECT_FALSE(copyText(buffer, u"abcdef"));
  EXPECT_EQ(std::u16string(buffer), u"abcd");
  EXPECT_FALSE(appendText(buffer, u"x"));
  EXPECT_EQ(std::u16string(buffer), u"abcd");
  EXPECT_TRUE(copyText(buffer, u"ab"));
  EXPECT_FALSE(appendText(buffer, u"cdef"));
  EXPECT_EQ(std::u16string(buffer), u"abcd");
}

TEST(Text, AppendRepairsABufferWithoutTerminator) {
  char16_t buffer[3] = {u'a', u'b', u'c'};
  EXPECT_FALSE(appendText(buffer, u"d"));
  EXPECT_EQ(buffer[2], 0);
}

TEST(Text, DecimalCoversTheWholeRange) {
  char16_t buffer[32] = {};
  appendDecimal(buffer, INT64_MIN);
  EXPECT_EQ(std::u16string(buffer), u"-9223372036854775808");
  copyText(buffer, u"-p");
  appendDecimal(buffer, 704);
  EXPECT_EQ(std::u16string(buffer), u"-p704");
  char16_t tiny[3] = {};
  EXPECT_FALSE(appendDecimal(tiny, 12345));
  EXPECT_EQ(std::u16string(tiny), u"12");
}

}  // namespace
}  // namespace tarnwick
