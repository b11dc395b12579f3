#include "app/temp_copy.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "base/text.h"

namespace tarnwick {
namespace {

std::u16string str(const char16_t* text) { return std::u16string(text); }

// --- relaunch command line ---

TEST(RelaunchCommandLine, DriveAndSwitchWithoutLetters) {
  char16_t line[kCommandLineUnits];
  ASSERT_TRUE(buildRelaunchCommandLine(u"C:\\Temp\\TWK1a.exe", u'E', LaunchOptions{}, line));
  EXPECT_EQ(str(line), u"\"C:\\Temp\\TWK1a.exe\" E: --delete-executable");
}

TEST(RelaunchCommandLine, GivenLettersInFixedOrderWithSpacesInPathAndLetterUnchanged) {
  LaunchOptions o;
  o.givenX = o.givenC = o.givenS = 1;  // c and x from the file name, s from the command line
  o.systemNotices = o.askFirst = 1;    // derived flags are not forwarded as such
  char16_t line[kCommandLineUnits];
  ASSERT_TRUE(buildRelaunchCommandLine(u"C:\\My Temp\\TWKbcde.exe", u'e', o, line));
  EXPECT_EQ(str(line), u"\"C:\\My Temp\\TWKbcde.exe\" e: /c /s /x --delete-executable");

  o.givenD = o.givenL = o.givenK = 1;
  ASSERT_TRUE(buildRelaunchCommandLine(u"T.exe", u'F', o, line));
  EXPECT_EQ(str(line), u"\"T.exe\" F: /d /c /s /l /k /x --delete-executable");
}

TEST(RelaunchCommandLine, LongestPathStillFits) {
  std::u16string path = u"C:\\" + std::u16string(256, u'a');  // 259 units
  char16_t line[kCommandLineUnits];
  LaunchOptions all;
  all.givenD = all.givenC = all.givenS = all.givenL = all.givenK = all.givenX = 1;
  ASSERT_TRUE(buildRelaunchCommandLine(path.c_str(), u'E', all, line));
  EXPECT_EQ(textLength(line), 259u + 2 + 3 + 18 + 20);
}

// --- unique names ---

// A folder of names; numbers the system would pick start at `firstFree`.
struct FakeFolder : TempNameFiles {
  bool exists = true;
  uint32_t systemPick = 0x11b1;
  std::set<std::u16string> files;
  std::vector<std::string> calls;
  uint32_t formName(const char16_t* dir, const char16_t* prefix, uint32_t number,
                    char16_t (&name)[kPathUnits]) override {
    calls.push_back("form " + std::to_string(number));
    if (!exists) return 0;
    uint32_t used = number == 0 ? systemPick : (number & 0xFFFF);
    static const char hex[] = "0123456789abcdef";
    std::u16string digits;
    for (uint32_t v = used; v != 0; v >>= 4) digits.insert(digits.begin(), hex[v & 15]);
    std::u16string full = std::u16string(dir) + prefix + digits + u".tmp";
    copyText(name, full.c_str());
    files.erase(full);  // the TMP name is deleted at once
    return used;
  }
  bool createExclusive(const char16_t* path) override {
    std::string name(path, path + textLength(path));
    calls.push_back("create " + name.substr(name.rfind('\\') + 1));
    return files.insert(path).second;
  }
};

TEST(UniqueTempName, FirstNameTheSystemPicksIsReservedWithTheExtension) {
  FakeFolder folder;
  char16_t path[kPathUnits];
  ASSERT_TRUE(makeUniqueTempName(u"C:\\Tmp\\", kTempPrefix, kCopyExtension, path, folder));
  EXPECT_EQ(str(path), u"C:\\Tmp\\TWK11b1.exe");
  EXPECT_EQ(folder.calls, (std::vector<std::string>{"form 0", "create TWK11b1.exe"}));
  EXPECT_EQ(folder.files.count(u"C:\\Tmp\\TWK11b1.exe"), 1u);
}

TEST(UniqueTempName, TakenNamesMoveOnToTheNextNumberAndWrapPastFFFF) {
  FakeFolder folder;
  folder.files = {u"C:\\Tmp\\TWK11b1.bat", u"C:\\Tmp\\TWK11b2.bat", u"C:\\Tmp\\TWK11b3.tmp"};
  char16_t path[kPathUnits];
  ASSERT_TRUE(makeUniqueTempName(u"C:\\Tmp\\", kTempPrefix, kBatchExtension, path, folder));
  EXPECT_EQ(str(path), u"C:\\Tmp\\TWK11b3.bat");
  EXPECT_EQ(folder.calls,
            (std::vector<std::string>{"form 0", "create TWK11b1.bat", "form 4530",
                                      "create TWK11b2.bat", "form 4531", "create TWK11b3.bat"}));
  EXPECT_EQ(folder.files.count(u"C:\\Tmp\\TWK11b3.tmp"), 0u);  // the TMP name went first

  FakeFolder top;
  top.systemPick = 0xffff;
  top.files = {u"C:\\Tmp\\TWKffff.exe"};
  ASSERT_TRUE(makeUniqueTempName(u"C:\\Tmp\\", kTempPrefix, kCopyExtension, path, top));
  EXPECT_EQ(str(path), u"C:\\Tmp\\TWK1.exe");  // never 0, which would let the system choose
}

TEST(UniqueTempName, FailureIsReportedWithAnEmptyName) {
  char16_t path[kPathUnits];
  FakeFolder missing;
  missing.exists = false;
  EXPECT_FALSE(makeUniqueTempName(u"C:\\Gone\\", kTempPrefix, kCopyExtension, path, missing));
  EXPECT_EQ(path[0], 0);
  EXPECT_EQ(missing.calls, (std::vector<std::string>{"form 0"}));

  FakeFolder noFolder;
  EXPECT_FALSE(makeUniqueTempName(u"", kTempPrefix, kCopyExtension, path, noFolder));
  EXPECT_TRUE(noFolder.calls.empty());

  struct Full : FakeFolder {
    bool createExclusive(const char16_t*) override {
      ++creates;
      return false;
    }
    int creates = 0;
  } full;
  EXPECT_FALSE(makeUniqueTempName(u"C:\\Tmp\\", kTempPrefix, kCopyExtension, path, full));
  EXPECT_EQ(full.creates, 1000);
  EXPECT_EQ(path[0], 0);
}

// --- clean-up batch ---

// The batch is read in a code page that carries ASCII only; short forms come
// from a table.
struct AsciiCodePage : BatchCodePage {
  std::u16string shortOf, shortForm;
  bool carries(const char16_t* text) override {
    for (; *text; ++text) {
      if (*text >= 0x80) return false;
    }
    return true;
  }
  bool shortPath(const char16_t* path, char16_t (&out)[kPathUnits]) override {
    if (shortOf != path) return false;
    return copyText(out, shortForm.c_str());
  }
};

TEST(CleanupBatch, WorkerFromTheCopyWithProcessId704) {
  AsciiCodePage page;
  CleanupBatch b;
  ASSERT_TRUE(buildCleanupBatch(u"C:\\Users\\Tom\\Temp\\TWK11b1.exe",
                                u"C:\\Users\\Tom\\Temp\\TWK11b2.bat", u"C:\\Users\\Tom\\Temp\\",
                                704, page, b));
  EXPECT_EQ(str(b.lines[0]), u"\"C:\\Users\\Tom\\Temp\\TWK11b1.exe\" -p704");
  EXPECT_EQ(str(b.lines[1]), u"DEL \"C:\\Users\\Tom\\Temp\\TWK11b1.exe\"");
  EXPECT_EQ(str(b.lines[2]), u"DEL \"C:\\Users\\Tom\\Temp\\TWK11b2.bat\"");
}

TEST(CleanupBatch, SpacesAndOperatorsStayQuotedAndPercentIsDoubled) {
  AsciiCodePage page;
  CleanupBatch b;
  const char16_t* dir = u"C:\\Tom & Jerry (work) 100%\\";
  ASSERT_TRUE(buildCleanupBatch(u"C:\\Tom & Jerry (work) 100%\\TWKa.exe",
                                u"C:\\Tom & Jerry (work) 100%\\TWKb.bat", dir, 4294967295u, page,
                                b));
  EXPECT_EQ(str(b.lines[0]), u"\"C:\\Tom & Jerry (work) 100%%\\TWKa.exe\" -p4294967295");
  EXPECT_EQ(str(b.lines[2]), u"DEL \"C:\\Tom & Jerry (work) 100%%\\TWKb.bat\"");
}

TEST(CleanupBatch, PathsTheCodePageCannotCarryAreNamedRelativelyOrShort) {
  AsciiCodePage page;
  CleanupBatch b;
  // The copy and the batch sit in the interpreter's current directory.
  ASSERT_TRUE(buildCleanupBatch(u"C:\\T\u00fcr\\TWKa.exe", u"C:\\T\u00fcr\\TWKb.bat",
                                u"c:\\t\u00fcr\\", 7, page, b));
  EXPECT_EQ(str(b.lines[0]), u"\".\\TWKa.exe\" -p7");
  EXPECT_EQ(str(b.lines[1]), u"DEL \".\\TWKa.exe\"");
  EXPECT_EQ(str(b.lines[2]), u"DEL \".\\TWKb.bat\"");

  // A worker started from elsewhere: its executable by its short form.
  page.shortOf = u"E:\\\u65e5\u672c%\\Tarnwick.exe";
  page.shortForm = u"E:\\_~1%\\TARNWI~1.EXE";
  ASSERT_TRUE(buildCleanupBatch(page.shortOf.c_str(), u"C:\\T\u00fcr\\TWKb.bat", u"C:\\T\u00fcr\\",
                                7, page, b));
  EXPECT_EQ(str(b.lines[0]), u"\"E:\\_~1%%\\TARNWI~1.EXE\" -p7");
  // In a subfolder of the current directory, or with no short form: as it is.
  char16_t form[kBatchPathUnits];
  ASSERT_TRUE(batchPathForm(u"C:\\T\u00fcr\\sub\\TWKa.exe", u"C:\\T\u00fcr\\", page, form));
  EXPECT_EQ(str(form), u"C:\\T\u00fcr\\sub\\TWKa.exe");
  ASSERT_TRUE(batchPathForm(u"C:\\T\u00fcr\\TWK\u00fc.exe", u"C:\\T\u00fcr\\", page, form));
  EXPECT_EQ(str(form), u"C:\\T\u00fcr\\TWK\u00fc.exe");
}

TEST(CleanupBatch, LongestPathOfPercentSignsStillFits) {
  AsciiCodePage page;
  std::u16string dir = u"C:\\" + std::u16string(244, u'%') + u"\\";
  std::u16string exe = dir + u"TWKffff.exe";  // 259 units
  CleanupBatch b;
  ASSERT_TRUE(
      buildCleanupBatch(exe.c_str(), (dir + u"TWKfffe.bat").c_str(), dir.c_str(), 1, page, b));
  EXPECT_EQ(textLength(b.lines[1]), 5u + 259 + 244 + 1);
}

TEST(InterpreterCommandLine, BatchPathQuotedUnlessTheCommandLineWouldMisreadIt) {
  char16_t line[kCommandLineUnits];
  ASSERT_TRUE(buildInterpreterCommandLine(u"C:\\My Temp\\TWK2.bat", u"C:\\My Temp\\", line));
  EXPECT_EQ(str(line), u"cmd.exe /c \"C:\\My Temp\\TWK2.bat\"");
  ASSERT_TRUE(
      buildInterpreterCommandLine(u"C:\\\u65e5\u672c!\\TWK2.bat", u"C:\\\u65e5\u672c!\\", line));
  EXPECT_EQ(str(line), u"cmd.exe /c \"C:\\\u65e5\u672c!\\TWK2.bat\"");
  for (const char16_t* dir : {u"C:\\Tom & Jerry\\", u"C:\\a^b\\", u"C:\\(x)\\", u"C:\\a;b\\",
                              u"C:\\a,b\\", u"C:\\a=b\\", u"C:\\%TEMP%\\"}) {
    std::u16string bat = std::u16string(dir) + u"TWK2.bat";
    ASSERT_TRUE(buildInterpreterCommandLine(bat.c_str(), dir, line));
    EXPECT_EQ(str(line), u"cmd.exe /c \".\\TWK2.bat\"");
  }
}

// --- ANSI text ---

struct FakeSink : AnsiTextSink {
  int converted = -1;            // -1: the text's length plus its terminator
  std::vector<uint32_t> chunks;  // bytes accepted per write; empty: all
  bool failWrite = false;
  std::string out;
  int convert(const char16_t* text, char* bytes, int capacity) override {
    int n = 0;
    for (; text[n] != 0; ++n) {
      if (n + 1 >= capacity) return 0;
      bytes[n] = static_cast<char>(text[n]);
    }
    bytes[n] = 0;
    return converted >= 0 ? converted : n + 1;
  }
  bool write(const char* bytes, uint32_t count, uint32_t& written) override {
    if (failWrite) return false;
    written = count;
    if (!chunks.empty()) {
      written = chunks.front() < count ? chunks.front() : count;
      chunks.erase(chunks.begin());
    }
    out.append(bytes, written);
    return true;
  }
};

TEST(AnsiText, WritesWithoutTerminatorAcrossPartialWrites) {
  FakeSink sink;
  sink.chunks = {2, 1, 3};
  ASSERT_TRUE(writeAnsiText(u"DEL \"x\"\r\n", sink));
  EXPECT_EQ(sink.out, "DEL \"x\"\r\n");

  FakeSink empty;
  EXPECT_TRUE(writeAnsiText(u"", empty));
  EXPECT_EQ(empty.out, "");
}

TEST(AnsiText, UnconvertibleTextFailedOrStalledWritesAreFailures) {
  FakeSink tooLong;
  std::u16string big(1024, u'a');
  EXPECT_FALSE(writeAnsiText(big.c_str(), tooLong));
  EXPECT_EQ(tooLong.out, "");

  FakeSink failing;
  failing.failWrite = true;
  EXPECT_FALSE(writeAnsiText(u"abc", failing));

  FakeSink stalled;  // success with no byte written would otherwise loop for ever
  stalled.chunks = {1, 0};
  EXPECT_FALSE(writeAnsiText(u"abc", stalled));
  EXPECT_EQ(stalled.out, "a");
}

}  // namespace
}  // namespace tarnwick
