#include "ui/banner_effects.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/text.h"
#include "ui/catalogue_texts_test.h"

namespace tarnwick {
namespace {

using Calls = std::vector<std::string>;

// The banner mutex, the window's error box and the text line; the other
// window operations are forwarded unchanged and not looked at here.
struct FakeBannerPlatform : BannerPlatform {
  Calls& calls;
  MutexWait wait = MutexWait::Owned;
  int32_t banners = 2;
  std::u16string text, boxText, boxCaption;
  size_t textLength = 0;

  explicit FakeBannerPlatform(Calls& c) : calls(c) {}

  void setTimer(uintptr_t, uint32_t) override {}
  void killTimer(uintptr_t) override {}
  void postEject() override {}
  Rect workArea() override { return {}; }
  MutexWait waitBannerMutex(uint32_t limitMs) override {
    calls.push_back("wait " + std::to_string(limitMs));
    return wait;
  }
  void releaseBannerMutex() override { calls.push_back("release"); }
  int32_t countBanners() override {
    calls.push_back("count");
    return banners;
  }
  void present(const BannerState&, Rect&, Rect&) override {}
  bool fadeImage() override { return false; }
  void presentFaded(Point) override {}
  void bringToFront() override {}
  void showWindow() override {}
  void setText(const char16_t* t, size_t length) override {
    text.assign(t, length);
    textLength = length;
  }
  void showErrorBox(const char16_t* t, const char16_t* caption) override {
    calls.push_back("box");
    boxText = t;
    boxCaption = caption;
  }
  void drainDeviceChanges() override {}
  void setCursor(BannerCursor) override {}
  void quit() override {}
};

struct FakeEjectPlatform : EjectPlatform {
  Calls& calls;
  uint32_t result = kCrSuccess;
  explicit FakeEjectPlatform(Calls& c) : calls(c) {}
  bool createVolumeSet() override { return true; }
  bool openDeviceInfo(const char16_t*, DevNode& node) override {
    node = 1;
    return true;
  }
  uint32_t requestEject(DevNode, uint32_t*, char16_t*, uint32_t) override {
    calls.push_back("request");
    return result;
  }
  void destroyVolumeSet() override {}
};

struct FakeNoticePlatform : NoticePlatform {
  Calls& calls;
  explicit FakeNoticePlatform(Calls& c) : calls(c) {}
  void loadString(uint32_t id, char16_t* buffer, size_t capacity) override {
    auto it = expectedCatalogue().find(id);
    copyText(buffer, capacity, it == expectedCatalogue().end() ? u"" : it->second.c_str());
  }
  void showBalloon(const Balloon& b) override {
    calls.push_back("balloon " + std::to_string(uint32_t(b.icon)));
  }
  void removeBalloon(NoticeIcon icon) override {
    calls.push_back("remove " + std::to_string(uint32_t(icon)));
  }
  uint32_t tickCount() override { return 100000; }
  void enableBanner(bool) override {}
  bool askYesNo(const char16_t*, const char16_t*) override { return false; }
  bool openProcess(uint32_t) override { return false; }
  bool openedProcessImage(char16_t*, size_t) override { return false; }
  uint64_t openedProcessStartTime() override { return 0; }
  void terminateOpenedProcess() override {}
  void closeOpenedProcess() override {}
};

struct FakeExplorerReleasePlatform : ExplorerReleasePlatform {
  bool runReleaseThread(Body, uintptr_t, uint32_t) override { return true; }
};

struct EditorFinder : BlockerFinder {
  bool findBlocker(char16_t) override {
    findings.holderPid = 4242;
    copyText(findings.holderImage, u"C:\\tools\\edit.exe");
    findings.runsFromDrive = false;
    return true;
  }
};

struct Banner {
  explicit Banner(bool withFinder = true) : searches(withFinder) {}
  bool searches;
  Calls calls;
  FakeBannerPlatform platform{calls};
  FakeNoticePlatform notices{calls};
  FakeExplorerReleasePlatform explorer;
  FakeEjectPlatform ejector{calls};
  RemovableDevice device{u'E'};
  NoticeState noticeState;
  EditorFinder finder;
  BannerComposer effects{
      {platform, notices, explorer, ejector, device, noticeState, searches ? &finder : nullptr},
      BannerSettings()};
};

TEST(BannerComposer, EjectsOnlyWhileItOwnsTheBannerMutexAndAlwaysReleasesIt) {
  for (MutexWait wait : {MutexWait::Owned, MutexWait::Abandoned}) {
    for (uint32_t result : {kCrSuccess, kCrSuccess + 1}) {
      Banner b;
      b.platform.wait = wait;
      b.ejector.result = result;
      EXPECT_EQ(b.effects.ejectUnderMutex(), result == kCrSuccess);
      EXPECT_EQ(b.calls, (Calls{"wait 360000", "request", "release"}));
    }
  }
  // Not had in time: no request, and nothing to release.
  Banner b;
  b.platform.wait = MutexWait::TimedOut;
  EXPECT_FALSE(b.effects.ejectUnderMutex());
  EXPECT_EQ(b.calls, (Calls{"wait 360000"}));
}

TEST(BannerComposer, CountsTheBannersEvenWithoutTheMutexAndReleasesOnlyAnOwnedOne) {
  for (MutexWait wait : {MutexWait::Owned, MutexWait::Abandoned}) {
    Banner b;
    b.platform.wait = wait;
    EXPECT_EQ(b.effects.countBannersUnderMutex(), 2);
    EXPECT_EQ(b.calls, (Calls{"wait 6000", "count", "release"}));
  }
  Banner b;
  b.platform.wait = MutexWait::TimedOut;
  EXPECT_EQ(b.effects.countBannersUnderMutex(), 2);
  EXPECT_EQ(b.calls, (Calls{"wait 6000", "count"}));
}

TEST(BannerComposer, TheBlockerBalloonOfADiagnosisIsReportedAndRemovedAgain) {
  Banner b;
  EXPECT_TRUE(b.effects.diagnoseBlocker());
  b.effects.removeBlockerNotice();
  EXPECT_EQ(b.calls, (Calls{"balloon 1", "remove 1"}));
  EXPECT_EQ(b.noticeState.blockerNoticeShown, 0);
  // Right after the removal the diagnosis stays quiet, and says so.
  EXPECT_FALSE(b.effects.diagnoseBlocker());

  // Without a blocker search nothing is diagnosed.
  Banner none(false);
  EXPECT_FALSE(none.effects.diagnoseBlocker());
  none.effects.removeBlockerNotice();
  EXPECT_EQ(none.calls, (Calls{"remove 1"}));
}

TEST(BannerComposer, TextsAreTheSuccessLineAndTheShutdownWarningInTheUsersLanguage) {
  Banner b;
  copyText(b.device.friendlyName, u"Test Stick");
  b.effects.showSuccessText();
  EXPECT_EQ(b.platform.text, u"Test Stick  can be unplugged.");
  EXPECT_EQ(b.platform.textLength, b.platform.text.size());

  for (bool japanese : {false, true}) {
    b.noticeState.japanese = japanese;
    b.effects.showShutdownWarning();
    EXPECT_EQ(b.platform.boxCaption, u"Tarnwick");
    EXPECT_EQ(b.platform.boxText,
              expectedCatalogue().at(messageId(Message::ShutdownWarning, japanese)));
  }
}

}  // namespace
}  // namespace tarnwick
