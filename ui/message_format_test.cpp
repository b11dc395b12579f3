#include "ui/message_format.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace tarnwick {
namespace {

using Args = std::vector<FormatArgument>;

std::u16string format(size_t capacity, const char16_t* f, const Args& args,
                      size_t limit = kNoTextLimit) {
  std::vector<char16_t> buffer(capacity + 1, u'#');  // one guard unit past the buffer
  formatMessage(buffer.data(), capacity, f, args.data(), args.size(), limit);
  EXPECT_EQ(buffer[capacity], u'#') << "wrote past the buffer";
  return std::u16string(buffer.data());
}

TEST(MessageFormat, FillsPlaceholdersInOrder) {
  const Args args = {FormatArgument::ofText(u"edit.exe"), FormatArgument::ofUnit(u'E'),
                     FormatArgument::ofNumber(-2147483647 - 1)};
  EXPECT_EQ(format(100, u"'%s' in %c: (PID=%d) 100%%", args),
            u"'edit.exe' in E: (PID=-2147483648) 100%");
  EXPECT_EQ(formatMessage(nullptr, 0, u"%s!", args.data(), 1), 9u);
}

TEST(MessageFormat, OddFormatsAndArgumentsStayHarmless) {
  const Args one = {FormatArgument::ofText(nullptr)};
  EXPECT_EQ(format(50, u"[%s][%s][%d]%", one), u"[][][]%");           // missing and null arguments
  EXPECT_EQ(format(50, u"%x%l", Args{}), u"%x%l");                    // not placeholders
  EXPECT_EQ(format(50, u"%d", {FormatArgument::ofText(u"a")}), u"");  // wrong kind
  EXPECT_EQ(format(50, u"%c", {FormatArgument::ofUnit(0)}), u"");     // no terminator inside
}

TEST(MessageFormat, CutsAtTheCapacityWithoutSplittingASurrogatePair) {
  const Args args = {FormatArgument::ofText(u"ab\U0001F600cd")};
  EXPECT_EQ(format(5, u"%s", args), u"ab\U0001F600");
  EXPECT_EQ(format(4, u"%s", args), u"ab");  // the pair does not fit: not half of it
  EXPECT_EQ(format(1, u"%s", args), u"");
}

TEST(MessageFormat, ATextLimitShowsTheBeginningAndAnEllipsis) {
  const Args args = {FormatArgument::ofText(u"abcdefgh")};
  EXPECT_EQ(format(50, u"<%s>", args, 8), u"<abcdefgh>");
  EXPECT_EQ(format(50, u"<%s>", args, 7), u"<abcd...>");
  EXPECT_EQ(format(50, u"<%s>", {FormatArgument::ofText(u"abc\U0001F600xyz")}, 7), u"<abc...>");
}

TEST(MessageFormat, FittingShortensTheLongestNamesAndKeepsTheSentence) {
  const std::u16string longName(93, u'n');
  const std::u16string shortName = u"E:\\a.txt";
  const Args args = {FormatArgument::ofText(longName.c_str()), FormatArgument::ofUnit(u'E'),
                     FormatArgument::ofText(longName.c_str()), FormatArgument::ofNumber(4242)};
  const char16_t* f =
      u"'%s' in %c: drive is opened by '%s'. (PID=%d)\nPlease close the folder or the file.";
  char16_t small[120];
  EXPECT_FALSE(formatFitting(small, 120, f, args.data(), args.size()));
  const std::u16string text(small);
  EXPECT_EQ(text, u"'" + std::u16string(17, u'n') + u"...' in E: drive is opened by '" +
                      std::u16string(17, u'n') +
                      u"...'. (PID=4242)\nPlease close the folder or the file.");
  EXPECT_NE(text.find(u"...' in E: drive is opened by '"), std::u16string::npos);
  EXPECT_NE(text.find(u"(PID=4242)\nPlease close the folder or the file."), std::u16string::npos);

  char16_t roomy[300];
  EXPECT_TRUE(formatFitting(roomy, 300, f, args.data(), args.size()));
  EXPECT_EQ(std::u16string(roomy).size(), 2 * 93 + 79u);

  // When even the words alone do not fit, the end is cut.
  char16_t tiny[10];
  EXPECT_FALSE(formatFitting(tiny, 10, f, args.data(), args.size()));
  EXPECT_EQ(std::u16string(tiny), u"'...' in ");
}

// Random and maximal inputs never overrun the buffer and always terminate it.
TEST(MessageFormat, RandomInputsNeverOverrunTheBuffer) {
  std::mt19937 random(20240611);
  const char16_t* formats[] = {
      u"%s", u"'%s' in %c: drive is running now. (PID=%d)\nPlease exit the application.",
      u"%s%s%s%s%s", u"%c%d%s%%%", u"'%s' (PID=%d) が %c: ドライブの '%s' を開いています。"};
  for (int round = 0; round < 3000; ++round) {
    std::vector<std::u16string> texts;
    Args args;
    const int count = int(random() % 6);
    for (int i = 0; i < count; ++i) {
      const size_t length = random() % 3 == 0 ? 1000 + random() % 2000 : random() % 300;
      std::u16string t;
      for (size_t k = 0; k < length; ++k) {
        const uint32_t pick = random() % 10;
        t.push_back(pick == 0   ? char16_t(0xD800 + random() % 0x800)  // surrogates, paired or not
                    : pick == 1 ? u'%'
                                : char16_t(1 + random() % 0xFFFE));
      }
      texts.push_back(t);
    }
    for (int i = 0; i < count; ++i) {
      switch (random() % 3) {
        case 0: args.push_back(FormatArgument::ofText(texts[i].c_str())); break;
        case 1: args.push_back(FormatArgument::ofUnit(char16_t(random()))); break;
        default: args.push_back(FormatArgument::ofNumber(int32_t(random()))); break;
      }
    }
    const size_t capacity = 1 + random() % 600;
    std::vector<char16_t> buffer(capacity + 8, u'#');
    const char16_t* f = formats[random() % 5];
    formatFitting(buffer.data(), capacity, f, args.data(), args.size());
    for (size_t k = capacity; k < buffer.size(); ++k) ASSERT_EQ(buffer[k], u'#');
    size_t length = 0;
    while (length < capacity && buffer[length] != 0) ++length;
    ASSERT_LT(length, capacity) << "not terminated";
  }
}

}  // namespace
}  // namespace tarnwick
