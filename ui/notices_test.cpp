#include "ui/notices.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "base/text.h"
#include "ui/catalogue_texts_test.h"

namespace tarnwick {
namespace {

// Records every platform call as one line; answers from its settings.
class FakeNoticePlatform : public NoticePlatform {
 public:
  std::vector<std::string> calls;
  std::vector<Balloon> balloons;
  std::u16string promptText, promptCaption;
  uint32_t tick = 100000;
  bool answerYes = false;
  bool canOpen = true;
  std::u16string runningImage = u"E:\\tools\\edit.exe";  // what the opened process runs
  uint64_t runningStartTime = 0;                         // when it started; 0 unknown

  void loadString(uint32_t id, char16_t* buffer, size_t capacity) override {
    auto it = expectedCatalogue().find(id);
    copyText(buffer, capacity, it == expectedCatalogue().end() ? u"" : it->second.c_str());
  }
  void showBalloon(const Balloon& b) override {
    calls.push_back("show " + std::to_string(uint32_t(b.icon)));
    balloons.push_back(b);
  }
  void removeBalloon(NoticeIcon icon) override {
    calls.push_back("remove " + std::to_string(uint32_t(icon)));
  }
  uint32_t tickCount() override { return tick; }
  void enableBanner(bool enable) override { calls.push_back(enable ? "enable" : "disable"); }
  bool askYesNo(const char16_t* text, const char16_t* caption) override {
    calls.push_back("ask");
    promptText = text;
    promptCaption = caption;
    return answerYes;
  }
  bool openProcess(uint32_t pid) override {
    calls.push_back("open " + std::to_string(pid));
    return canOpen;
  }
  bool openedProcessImage(char16_t* buffer, size_t capacity) override {
    copyText(buffer, capacity, runningImage.c_str());
    return !runningImage.empty();
  }
  uint64_t openedProcessStartTime() override { return runningStartTime; }
  void terminateOpenedProcess() override { calls.push_back("terminate"); }
  void closeOpenedProcess() override { calls.push_back("close"); }
};

// Finds what its settings say, as often as it is asked.
class FakeBlockerFinder : public BlockerFinder {
 public:
  bool found = true;
  int searches = 0;
  char16_t letterAsked = 0;
  std::u16string image = u"E:\\tools\\edit.exe", open;
  uint32_t pid = 4242;
  uint64_t startTime = 0;

  bool findBlocker(char16_t letter) override {
    ++searches;
    letterAsked = letter;
    findings.holderPid = pid;
    findings.holderStartTime = startTime;
    copyText(findings.holderImage, image.c_str());
    copyText(findings.openPath, open.c_str());
    findings.runsFromDrive = open.empty();
    findings.holdsOpenItem = !open.empty();
    return found;
  }
};

NoticeState englishState() {
  NoticeState s;
  s.driveLetter = u'E';
  s.deviceDescription = u"USB Mass Storage Device";
  return s;
}

TEST(SafeNotice, ShowsTheFullDescriptionInTheUsersLanguageAndIsRemovedAgain) {
  FakeNoticePlatform p;
  NoticeState s = englishState();
  showSafeNotice(p, s, true);
  ASSERT_EQ(p.balloons.size(), 1u);
  EXPECT_EQ(p.balloons[0].icon, NoticeIcon::Safe);
  EXPECT_EQ(p.balloons[0].infoFlags, kBalloonInfo);
  EXPECT_EQ(std::u16string(p.balloons[0].title), u"Safe To Remove Hardware");
  EXPECT_EQ(std::u16string(p.balloons[0].text),
            u"The 'USB Mass Storage Device' device can now be safely removed from the computer.");
  s.japanese = true;
  showSafeNotice(p, s, true);
  EXPECT_EQ(std::u16string(p.balloons[1].title), u"ハードウェアの取り外し");
  EXPECT_EQ(std::u16string(p.balloons[1].text),
            u"'USB Mass Storage Device' は安全に取り外すことができますよ。");
  showSafeNotice(p, s, false);
  EXPECT_EQ(p.calls.back(), "remove 0");
}

TEST(SafeNotice, ALongDescriptionIsShortenedToFitTheBalloon) {
  FakeNoticePlatform p;
  NoticeState s = englishState();
  const std::u16string description(255, u'D');
  s.deviceDescription = description.c_str();
  showSafeNotice(p, s, true);
  const std::u16string text = p.balloons.at(0).text;
  EXPECT_EQ(text.size(), 255u);
  EXPECT_EQ(text.substr(0, 5), u"The '");
  EXPECT_NE(text.find(u"DDD...' device can now be safely removed from the computer."),
            std::u16string::npos);
}

TEST(BlockerNotice, NamesTheProcessOrTheOpenItemAndRecordsItsRemoval) {
  FakeNoticePlatform p;
  NoticeState s = englishState();
  BlockerFindings r;
  r.holderPid = 77;
  copyText(r.holderImage, u"C:\\Windows\\explorer.exe");
  copyText(r.openPath, u"E:\\");
  r.holdsOpenItem = true;
  showBlockerNotice(p, s, r, true);
  ASSERT_EQ(p.balloons.size(), 1u);
  EXPECT_EQ(p.balloons[0].icon, NoticeIcon::Blocker);
  EXPECT_EQ(p.balloons[0].infoFlags, kBalloonError);
  EXPECT_EQ(std::u16string(p.balloons[0].title), u"Problem Removing Hardware");
  EXPECT_EQ(std::u16string(p.balloons[0].text),
            u"'root' in E: drive is opened by 'explorer.exe'. (PID=77)\nPlease close the folder or "
            u"the file.");

  r.runsFromDrive = true;
  r.holdsOpenItem = false;
  copyText(r.holderImage, u"E:\\app\\run.exe");
  copyText(r.openPath, u"");
  s.japanese = true;
  showBlockerNotice(p, s, r, true);
  EXPECT_EQ(
      std::u16string(p.balloons[1].text),
      u"E: ドライブの 'run.exe' (PID=77) が実行中です。\nアプリケーションを終了してください。");
  EXPECT_EQ(std::u16string(p.balloons[1].title),
            u"エラーが発生したため、ハードウェアは取り外しできません");

  p.tick = 5555;
  showBlockerNotice(p, s, r, false);
  EXPECT_EQ(p.calls.back(), "remove 1");
  EXPECT_EQ(s.blockerNoticeClosedTick, 5555u);
}

TEST(BlockerNotice, TwoLongestNamesStillGiveAWholeSentenceInTheBalloon) {
  FakeNoticePlatform p;
  NoticeState s = englishState();
  const std::u16string image = u"C:\\" + std::u16string(100, u'i') + u".exe";
  const std::u16string open = u"E:\\" + std::u16string(300, u'o');
  BlockerFindings r;
  r.holderPid = 2147483647;
  copyText(r.holderImage, image.c_str());
  copyText(r.openPath, open.c_str());
  r.holdsOpenItem = true;
  for (bool japanese : {false, true}) {
    s.japanese = japanese;
    p.balloons.clear();
    showBlockerNotice(p, s, r, true);
    const std::u16string text = p.balloons.at(0).text;
    EXPECT_LE(text.size(), 255u);
    const std::u16string end = japanese ? u"ファイル又はフォルダを閉じてください。"
                                        : u"(PID=2147483647)\nPlease close the folder or the file.";
    EXPECT_EQ(text.substr(text.size() - end.size()), end);
    EXPECT_NE(text.find(u"..."), std::u16string::npos);
  }
}

TEST(Diagnosis, ShowsTheBalloonOnceAndKeepsQuietForThreeSecondsAfterItsRemoval) {
  FakeNoticePlatform p;
  FakeBlockerFinder search;
  NoticeState s = englishState();
  s.driveLetter = u'e';
  diagnoseBlocker(p, search, s);
  EXPECT_EQ(search.letterAsked, u'e');
  EXPECT_EQ(s.blockerNoticeShown, 1);
  EXPECT_EQ(p.calls, std::vector<std::string>{"show 1"});
  EXPECT_EQ(std::u16string(p.balloons[0].text),
            u"'edit.exe' in e: drive is running now. (PID=4242)\nPlease exit the application.");

  diagnoseBlocker(p, search, s);  // shown: not even a search
  EXPECT_EQ(search.searches, 1);

  s.blockerNoticeShown = 0;
  s.blockerNoticeClosedTick = p.tick;
  p.tick += 2999;
  diagnoseBlocker(p, search, s);
  EXPECT_EQ(search.searches, 1);
  p.tick += 1;
  diagnoseBlocker(p, search, s);
  EXPECT_EQ(search.searches, 2);
  EXPECT_EQ(s.blockerNoticeShown, 1);
}

TEST(Diagnosis, TheQuietPeriodSurvivesTheTickCountWrapping) {
  FakeNoticePlatform p;
  FakeBlockerFinder search;
  NoticeState s = englishState();
  s.blockerNoticeClosedTick = 0xFFFFFFFFu - 1000;  // removed just before the wrap
  p.tick = 500;                                    // 1501 ms later
  diagnoseBlocker(p, search, s);
  EXPECT_EQ(search.searches, 0);
  p.tick = 2000;  // 3001 ms later
  diagnoseBlocker(p, search, s);
  EXPECT_EQ(search.searches, 1);

  // Fresh banner (removal tick 0): held back only in the first 3000 ms of the tick count.
  NoticeState fresh = englishState();
  p.tick = 2999;
  diagnoseBlocker(p, search, fresh);
  EXPECT_EQ(search.searches, 1);
}

TEST(Diagnosis, NothingFoundShowsNothing) {
  FakeNoticePlatform p;
  FakeBlockerFinder search;
  search.found = false;
  NoticeState s = englishState();
  s.offerKill = true;
  diagnoseBlocker(p, search, s);
  EXPECT_TRUE(p.calls.empty());
  EXPECT_EQ(s.blockerNoticeShown, 0);
}

TEST(Diagnosis, OfferKillAsksFirstAndYesTerminatesTheProcessFound) {
  FakeNoticePlatform p;
  FakeBlockerFinder search;
  search.open = u"E:\\docs\\letter.txt";
  NoticeState s = englishState();
  s.offerKill = true;
  p.answerYes = true;
  diagnoseBlocker(p, search, s);
  EXPECT_EQ(p.calls, (std::vector<std::string>{"disable", "ask", "open 4242", "terminate", "close",
                                               "enable"}));
  EXPECT_EQ(p.promptCaption, u"Tarnwick");
  EXPECT_EQ(p.promptText,
            u"'letter.txt' in E: drive is opened by 'edit.exe'. (PID=4242)\nDo you exit the "
            u"application?\n"
            u"Note that the unsaved data will be lost.");
  EXPECT_EQ(s.blockerNoticeShown, 0);  // terminated: no balloon

  // The same executable reported in another letter case is the same program.
  p.calls.clear();
  p.runningImage = u"e:\\TOOLS\\edit.exe";
  diagnoseBlocker(p, search, s);
  EXPECT_EQ(p.calls, (std::vector<std::string>{"disable", "ask", "open 4242", "terminate", "close",
                                               "enable"}));
}

TEST(Diagnosis, NoOrAProcessThatIsNoLongerTheOneFoundShowsTheBalloon) {
  struct Case {
    bool yes, canOpen;
    std::u16string running, found;
    std::vector<std::string> calls;
  } cases[] = {
      {false,
       true,
       u"E:\\tools\\edit.exe",
       u"E:\\tools\\edit.exe",
       {"disable", "ask", "enable", "show 1"}},
      {true,
       false,
       u"E:\\tools\\edit.exe",
       u"E:\\tools\\edit.exe",
       {"disable", "ask", "open 4242", "enable", "show 1"}},
      // the id now belongs to another program
      {true,
       true,
       u"C:\\Windows\\notepad.exe",
       u"E:\\tools\\edit.exe",
       {"disable", "ask", "open 4242", "close", "enable", "show 1"}},
      // the opened process's path cannot be read
      {true,
       true,
       u"",
       u"E:\\tools\\edit.exe",
       {"disable", "ask", "open 4242", "close", "enable", "show 1"}},
      // the search could not read the path, so nothing proves the process is the same
      {true,
       true,
       u"E:\\tools\\edit.exe",
       u"",
       {"disable", "ask", "open 4242", "close", "enable", "show 1"}},
  };
  for (const Case& c : cases) {
    FakeNoticePlatform p;
    FakeBlockerFinder search;
    search.image = c.found;
    NoticeState s = englishState();
    s.offerKill = true;
    p.answerYes = c.yes;
    p.canOpen = c.canOpen;
    p.runningImage = c.running;
    diagnoseBlocker(p, search, s);
    EXPECT_EQ(p.calls, c.calls);
    EXPECT_EQ(s.blockerNoticeShown, 1);
  }
}

TEST(Diagnosis, TheStartTimeTellsProcessesApartWhereThePathIsUnknown) {
  struct Case {
    std::u16string running, found;
    uint64_t runningStart, foundStart;
    bool terminated;
  } cases[] = {
      // a 64-bit process seen from a 32-bit build without its path
      {u"", u"", 0x01D9000000000001, 0x01D9000000000001, true},
      {u"", u"", 0x01D9000000000002, 0x01D9000000000001, false},  // the id was used again
      {u"", u"", 0, 0x01D9000000000001, false},                   // the start time cannot be read
      // with both known, both must agree
      {u"E:\\tools\\edit.exe", u"E:\\tools\\edit.exe", 0x01D9000000000001, 0x01D9000000000001,
       true},
      {u"E:\\tools\\edit.exe", u"E:\\tools\\edit.exe", 0x01D9000000000002, 0x01D9000000000001,
       false},
      {u"C:\\other.exe", u"E:\\tools\\edit.exe", 0x01D9000000000001, 0x01D9000000000001, false},
  };
  for (const Case& c : cases) {
    FakeNoticePlatform p;
    FakeBlockerFinder search;
    search.image = c.found;
    search.startTime = c.foundStart;
    NoticeState s = englishState();
    s.offerKill = true;
    p.answerYes = true;
    p.runningImage = c.running;
    p.runningStartTime = c.runningStart;
    diagnoseBlocker(p, search, s);
    EXPECT_EQ(std::count(p.calls.begin(), p.calls.end(), "terminate"), c.terminated ? 1 : 0)
        << std::string(c.running.begin(), c.running.end()) << " " << c.runningStart;
    EXPECT_EQ(s.blockerNoticeShown, c.terminated ? 0 : 1);
  }
}

TEST(Diagnosis, SystemNoticesNeverAsk) {
  FakeNoticePlatform p;
  FakeBlockerFinder search;
  NoticeState s = englishState();
  s.offerKill = true;
  s.systemNotices = true;
  s.japanese = true;
  diagnoseBlocker(p, search, s);
  EXPECT_EQ(p.calls, std::vector<std::string>{"show 1"});
}

TEST(Diagnosis, AJapanesePromptNamesTheProcessFirst) {
  FakeNoticePlatform p;
  FakeBlockerFinder search;
  search.open = u"E:\\";
  NoticeState s = englishState();
  s.offerKill = true;
  s.japanese = true;
  diagnoseBlocker(p, search, s);
  EXPECT_EQ(p.promptText,
            u"'edit.exe' (PID=4242) が E: ドライブの 'root' "
            u"を開いています。\nアプリケーションを強制終了しますか?\n"
            u"強制終了した場合、編集中のデータは保存されずに消滅します。");
  EXPECT_EQ(std::u16string(p.balloons.at(0).text),
            u"'edit.exe' (PID=4242) が E: ドライブの 'root' "
            u"を開いています。\nファイル又はフォルダを閉じてください。");
}

}  // namespace
}  // namespace tarnwick

namespace tarnwick {
namespace {

std::u16string randomText(std::mt19937& random, size_t length) {
  std::u16string t;
  for (size_t k = 0; k < length; ++k) {
    const uint32_t pick = random() % 12;
    t.push_back(pick == 0   ? char16_t(0xD800 + random() % 0x800)
                : pick == 1 ? u'\\'
                : pick == 2 ? u'%'
                            : char16_t(1 + random() % 0xFFFE));
  }
  return t;
}

size_t terminatedLength(const char16_t* text, size_t capacity) {
  size_t n = 0;
  while (n < capacity && text[n] != 0) ++n;
  return n;
}

// Device descriptions, executable paths and open paths of any length and
// content give balloons and prompts that stay inside their fields.
TEST(NoticeTexts, RandomAndMaximalInputsStayInsideEveryField) {
  std::mt19937 random(7);
  for (int round = 0; round < 1500; ++round) {
    const size_t maximal = round % 3 == 0;
    const std::u16string description = randomText(random, maximal ? 255 : random() % 400);
    const std::u16string image = randomText(random, maximal ? 319 : random() % 700);
    const std::u16string open = randomText(random, maximal ? 319 : random() % 700);
    FakeNoticePlatform p;
    p.answerYes = random() % 2 == 0;
    p.canOpen = false;
    FakeBlockerFinder search;
    search.image = image;
    search.open = round % 4 == 0 ? std::u16string() : open;
    search.pid = uint32_t(random());
    NoticeState s;
    s.japanese = random() % 2 == 0;
    s.driveLetter = char16_t(random());
    s.deviceDescription = description.c_str();
    s.offerKill = true;
    showSafeNotice(p, s, true);
    diagnoseBlocker(p, search, s);
    ASSERT_EQ(p.balloons.size(), 2u);
    for (const Balloon& b : p.balloons) {
      ASSERT_LT(terminatedLength(b.text, kBalloonTextCapacity), kBalloonTextCapacity);
      ASSERT_LT(terminatedLength(b.title, kTitleCapacity), kTitleCapacity);
    }
    ASSERT_LT(p.promptText.size(), kPromptCapacity);
    // The message's own end is always there: only the names were shortened.
    const std::u16string blocker = p.balloons[1].text;
    const std::u16string end = s.japanese            ? u"てください。"
                               : search.open.empty() ? u"application."
                                                     : u"file.";
    ASSERT_EQ(blocker.substr(blocker.size() - end.size()), end) << round;
  }
}

}  // namespace
}  // namespace tarnwick
