#include "app/options.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "base/text.h"

namespace tarnwick {
namespace {

LaunchOptions parse(std::vector<std::u16string> args) {
  std::vector<const char16_t*> pointers;
  for (const auto& a : args) pointers.push_back(a.c_str());
  return parseLaunchOptions(pointers.data(), pointers.size());
}

TEST(Options, NothingGivenLeavesEveryFieldZero) {
  LaunchOptions o = parse({u"C:\\Tools\\Tarnwick.exe"});
  EXPECT_EQ(o.driveLetter, 0);
  EXPECT_EQ(o.waitPid, 0);
  EXPECT_EQ(o.silent + o.askFirst + o.systemNotices + o.openDrive + o.deleteExecutable +
                o.offerKill + o.closeExplorer,
            0);
  EXPECT_EQ(o.givenS + o.givenC + o.givenD + o.givenL + o.givenK + o.givenX, 0);
  EXPECT_EQ(parseLaunchOptions(nullptr, 0).driveLetter, 0);
}

TEST(Options, FileNameLetters) {
  LaunchOptions sk = parse({u"E:\\Tarnwick-sk.exe"});
  EXPECT_TRUE(sk.silent && sk.offerKill && sk.givenS && sk.givenK);
  EXPECT_FALSE(sk.systemNotices);

  LaunchOptions cx = parse({u"E:\\Tarnwick-cx.exe"});
  EXPECT_TRUE(cx.askFirst && cx.closeExplorer && cx.givenC && cx.givenX);
  EXPECT_FALSE(cx.systemNotices);  // x clears what c set

  // " Copy" after the hyphen: C counts, o, p, y and the space are skipped.
  LaunchOptions copy = parse({u"E:\\Tarnwick - Copy.exe"});
  EXPECT_TRUE(copy.askFirst && copy.systemNotices && copy.givenC);
  EXPECT_FALSE(copy.silent || copy.openDrive || copy.givenL);

  // Only "tool" is read: the 'l' counts, the x after the first dot does not.
  LaunchOptions bak = parse({u"my-tool.bak-x.exe"});
  EXPECT_TRUE(bak.systemNotices && bak.givenL);
  EXPECT_FALSE(bak.closeExplorer || bak.givenX);

  // A hyphen in a folder name is not part of the file name.
  LaunchOptions dir = parse({u"E:\\my-stuff\\Tarnwick.exe"});
  EXPECT_FALSE(dir.givenS || dir.givenC || dir.givenD || dir.givenL || dir.givenK || dir.givenX);

  // The forward slash is no separator.
  EXPECT_TRUE(parse({u"E:/x-s.exe"}).silent);
  // Upper-case letters count alike; driveLetter, pid and deletion never come from the name.
  LaunchOptions upper = parse({u"Tarnwick-DEp12.exe"});
  EXPECT_TRUE(upper.openDrive && upper.askFirst);
  EXPECT_EQ(upper.driveLetter, 0);
  EXPECT_EQ(upper.waitPid, 0);
}

TEST(Options, CommandLineLetters) {
  LaunchOptions o = parse({u"t.exe", u"-s", u"/C", u"-d", u"/l"});
  EXPECT_TRUE(o.silent && o.askFirst && o.openDrive && o.systemNotices);
  EXPECT_TRUE(o.givenS && o.givenC && o.givenD && o.givenL);

  LaunchOptions combined = parse({u"t.exe", u"-sc", u"-e", u"/", u"-"});
  EXPECT_FALSE(combined.silent || combined.askFirst || combined.givenS);
  EXPECT_EQ(combined.driveLetter, 0);  // -e starts with a hyphen: no drive letter

  // l in the name, -k on the command line: k clears systemNotices, the given flags stay.
  LaunchOptions lk = parse({u"Tarnwick-l.exe", u"-k"});
  EXPECT_FALSE(lk.systemNotices);
  EXPECT_TRUE(lk.givenL && lk.givenK && lk.offerKill);
}

TEST(Options, DriveLetterAndDeletion) {
  EXPECT_EQ(parse({u"t", u"e:", u"F:"}).driveLetter, u'F');
  EXPECT_EQ(parse({u"t", u"Eject"}).driveLetter, u'E');
  EXPECT_EQ(parse({u"t", u"e:\\"}).driveLetter, u'E');
  EXPECT_EQ(parse({u"t", u"1:", u"\\E", u"", u"\u00e9"}).driveLetter, 0);

  EXPECT_TRUE(parse({u"t", u"--delete-executable"}).deleteExecutable);
  EXPECT_TRUE(parse({u"t", u"/-delete-executable"}).deleteExecutable);
  EXPECT_FALSE(parse({u"t", u"--Delete-Executable"}).deleteExecutable);
  EXPECT_FALSE(parse({u"t", u"--delete-executables"}).deleteExecutable);
  EXPECT_FALSE(parse({u"t", u"--delete-executabl"}).deleteExecutable);
}

TEST(Options, ProcessId) {
  EXPECT_EQ(parse({u"t", u"-p1234"}).waitPid, 1234);
  EXPECT_EQ(parse({u"t", u"-p1234", u"-p0"}).waitPid, 0);  // later wins, 0 is none
  EXPECT_EQ(parse({u"t", u"-P42x"}).waitPid, 42);
  EXPECT_EQ(parse({u"t", u"/p12ab"}).waitPid, 12);
  EXPECT_EQ(parse({u"t", u"-p"}).waitPid, 0);
  EXPECT_EQ(parse({u"t", u"-p", u"5"}).waitPid, 0);
  EXPECT_EQ(parse({u"t", u"-px5"}).waitPid, 0);
  EXPECT_EQ(parse({u"t", u"-p2147483647"}).waitPid, 2147483647);
  EXPECT_EQ(parse({u"t", u"-p000000000000000000000042"}).waitPid, 42);
  // A value beyond 32 bits is ignored as a whole, keeping what came before.
  EXPECT_EQ(parse({u"t", u"-p2147483648"}).waitPid, 0);
  EXPECT_EQ(parse({u"t", u"-p77", u"-p99999999999999999999999"}).waitPid, 77);
}

TEST(Options, UpperAscii) {
  EXPECT_EQ(upperAscii(u'q'), u'Q');
  EXPECT_EQ(upperAscii(u'a'), u'A');
  EXPECT_EQ(upperAscii(u'z'), u'Z');
  EXPECT_EQ(upperAscii(u'Q'), u'Q');
  EXPECT_EQ(upperAscii(u'1'), u'1');
  EXPECT_EQ(upperAscii(0x60), 0x60);
  EXPECT_EQ(upperAscii(0x7B), 0x7B);
  EXPECT_EQ(upperAscii(0xE9), 0xE9);
}

// Random argument lists of hostile units: every field must follow from the
// arguments by the stated rules, and nothing may read out of bounds.
TEST(Options, RandomArgumentListsFollowTheRules) {
  std::mt19937 random(20261208);
  const std::u16string alphabet = u"-/pP0123456789sScCdDlLkKxXeE:.\\ \"a\u00e9\u65e5\xD800\xDC00";
  for (int round = 0; round < 5000; ++round) {
    std::vector<std::u16string> args;
    size_t count = 1 + random() % 8;
    for (size_t i = 0; i < count; ++i) {
      std::u16string a;
      size_t length = random() % 14;
      for (size_t j = 0; j < length; ++j) a += alphabet[random() % alphabet.size()];
      if (random() % 25 == 0) a = u"--delete-executable";
      args.push_back(a);
    }
    LaunchOptions o = parse(args);

    // Reference reading of the command-line arguments.
    char16_t drive = 0;
    int64_t pid = 0;
    bool letters[6] = {};  // s c d l k x
    const std::u16string kLetters = u"scdlkx";
    bool deletion = false;
    for (size_t i = 1; i < args.size(); ++i) {
      const std::u16string& a = args[i];
      if (a.empty()) continue;
      if (a[0] == u'-' || a[0] == u'/') {
        std::u16string rest = a.substr(1);
        if (rest.size() == 1 && kLetters.find(upperAscii(rest[0]) + 32) != std::u16string::npos)
          letters[kLetters.find(upperAscii(rest[0]) + 32)] = true;
        if (rest == u"-delete-executable") deletion = true;
        if (rest.size() > 1 && (rest[0] == u'p' || rest[0] == u'P') && rest[1] >= u'0' &&
            rest[1] <= u'9') {
          int64_t v = 0;
          bool fits = true;
          for (size_t k = 1; k < rest.size() && rest[k] >= u'0' && rest[k] <= u'9'; ++k) {
            v = v * 10 + (rest[k] - u'0');
            if (v > INT32_MAX) {
              fits = false;
              break;
            }
          }
          if (fits) pid = v;
        }
      } else if ((a[0] >= u'a' && a[0] <= u'z') || (a[0] >= u'A' && a[0] <= u'Z')) {
        drive = upperAscii(a[0]);
      }
    }
    const std::u16string& path = args[0];
    size_t slash = path.rfind(u'\\');
    std::u16string name = slash == std::u16string::npos ? path : path.substr(slash + 1);
    size_t hyphen = name.find(u'-');
    if (hyphen != std::u16string::npos) {
      for (size_t k = hyphen + 1; k < name.size() && name[k] != u'.'; ++k) {
        char16_t c = upperAscii(name[k]);
        if (c >= u'A' && c <= u'Z' && kLetters.find(c + 32) != std::u16string::npos)
          letters[kLetters.find(c + 32)] = true;
      }
    }

    ASSERT_EQ(o.driveLetter, drive);
    ASSERT_EQ(o.waitPid, pid);
    ASSERT_EQ(o.deleteExecutable != 0, deletion);
    ASSERT_EQ(o.givenS != 0, letters[0]);
    ASSERT_EQ(o.givenC != 0, letters[1]);
    ASSERT_EQ(o.givenD != 0, letters[2]);
    ASSERT_EQ(o.givenL != 0, letters[3]);
    ASSERT_EQ(o.givenK != 0, letters[4]);
    ASSERT_EQ(o.givenX != 0, letters[5]);
    ASSERT_EQ(o.silent, o.givenS);
    ASSERT_EQ(o.openDrive, o.givenD);
    ASSERT_EQ(o.offerKill, o.givenK);
    ASSERT_EQ(o.closeExplorer, o.givenX);
    ASSERT_EQ(o.askFirst != 0, letters[1] || letters[2]);
    ASSERT_EQ(o.systemNotices != 0, (letters[1] || letters[3]) && !letters[4] && !letters[5]);
  }
}

TEST(Options, VeryLongArgumentsAndNullEntries) {
  std::u16string longName = u"E:\\" + std::u16string(100000, u'-') + u"s.exe";
  std::u16string longPid = u"-p" + std::u16string(100000, u'9');
  LaunchOptions o = parse({longName, longPid, std::u16string(70000, u'g')});
  EXPECT_TRUE(o.silent);
  EXPECT_EQ(o.waitPid, 0);
  EXPECT_EQ(o.driveLetter, u'G');

  const char16_t* withNulls[] = {nullptr, nullptr, u"h"};
  EXPECT_EQ(parseLaunchOptions(withNulls, 3).driveLetter, u'H');
}

}  // namespace
}  // namespace tarnwick
