#include "shell/explorer_release.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarnwick {
namespace {

using Calls = std::vector<std::string>;

std::string narrow(const std::u16string& text) {
  std::string out;
  for (char16_t u : text) out += u < 0x80 ? static_cast<char>(u) : '?';
  return out;
}

// One shell window as the collection lists it.
struct FakeWindow {
  std::u16string address;
  bool isBrowser = true;     // the item answers for the browser interface
  bool addressReads = true;  // get_LocationURL succeeds
  bool hasHandle = true;     // get_HWND succeeds
  int closesIgnored = 0;     // close requests it ignores before it closes
  int pollsToClose = 3;      // existence polls after an honoured close until it is gone
  // State.
  WindowId id = 0;
  bool gone = false;
  int closeRequests = 0;
  int pollsLeft = -1;  // counting down after an honoured close
};

// A collection of windows in which a window that closes leaves the list
// some polls after the close was posted, and the ones after it move down.
struct FakeShellWindowsPlatform : ShellWindowsPlatform {
  bool versionReads = true;
  uint32_t major = 6;
  bool collectionOpens = true;
  bool countReads = true;
  std::vector<FakeWindow> windows;

  Calls calls;  // navigations and closes, with the window's address
  int countReadings = 0;
  std::vector<int32_t> indexes;  // asked for, in order
  int sleeps = 0;
  bool collectionOpen = false;
  int windowsOpen = 0;
  FakeWindow* current = nullptr;
  std::u16string addressText;

  // Lists a window showing `address`; the reference, to change its
  // settings, holds until the next window is added.
  FakeWindow& add(std::u16string address) {
    FakeWindow w;
    w.address = std::move(address);
    w.id = 100 + windows.size();
    windows.push_back(w);
    return windows.back();
  }
  std::vector<FakeWindow*> listed() {
    std::vector<FakeWindow*> out;
    for (auto& w : windows) {
      if (!w.gone) out.push_back(&w);
    }
    return out;
  }
  FakeWindow* byId(WindowId id) {
    for (auto& w : windows) {
      if (w.id == id) return &w;
    }
    return nullptr;
  }

  bool majorVersion(uint32_t& value) override {
    if (versionReads) value = major;
    return versionReads;
  }
  bool openCollection() override {
    collectionOpen = collectionOpens;
    return collectionOpens;
  }
  bool count(int32_t& n) override {
    EXPECT_TRUE(collectionOpen);
    ++countReadings;
    if (countReads) n = static_cast<int32_t>(listed().size());
    return countReads;
  }
  bool openWindow(int32_t index) override {
    EXPECT_EQ(current, nullptr) << "the previous window was not let go";
    indexes.push_back(index);
    auto list = listed();
    if (index < 0 || index >= static_cast<int32_t>(list.size())) return false;
    if (!list[index]->isBrowser) return false;
    current = list[index];
    ++windowsOpen;
    return true;
  }
  const char16_t* address() override {
    if (!current->addressReads) return nullptr;
    addressText = current->address;
    return addressText.c_str();
  }
  bool windowHandle(WindowId& id) override {
    if (current->hasHandle) id = current->id;
    return current->hasHandle;
  }
  void navigate(const char16_t* target) override {
    calls.push_back("navigate " + narrow(current->address) + " -> " + narrow(target));
  }
  void closeWindow() override {
    current = nullptr;
    --windowsOpen;
  }
  void postClose(WindowId id) override {
    FakeWindow* w = byId(id);
    ASSERT_NE(w, nullptr);
    calls.push_back("close " + narrow(w->address));
    if (w->closeRequests++ >= w->closesIgnored) w->pollsLeft = w->pollsToClose;
  }
  bool windowExists(WindowId id) override {
    FakeWindow* w = byId(id);
    if (w->pollsLeft > 0 && --w->pollsLeft == 0) w->gone = true;
    return !w->gone;
  }
  void sleep(uint32_t ms) override {
    EXPECT_EQ(ms, kClosePollMs);
    ++sleeps;
  }
  void closeCollection() override {
    EXPECT_TRUE(collectionOpen);
    collectionOpen = false;
  }

  void expectAllLetGo() {
    EXPECT_FALSE(collectionOpen);
    EXPECT_EQ(windowsOpen, 0);
  }
};

TEST(DriveIndex, GivesTheSameIndexForBothCasesAndNoLetterIndexToOtherUnits) {
  EXPECT_EQ(driveIndex(u'A'), 0);
  EXPECT_EQ(driveIndex(u'a'), 0);
  EXPECT_EQ(driveIndex(u'E'), 4);
  EXPECT_EQ(driveIndex(u'e'), 4);
  EXPECT_EQ(driveIndex(u'Z'), 25);
  EXPECT_EQ(driveIndex(u'z'), 25);
  for (char16_t u :
       {u'0', u'@', u'[', u'`', u'{', u'\\', u'/', u':', char16_t{0}, char16_t{0xFF25}}) {
    const int index = driveIndex(u);
    EXPECT_TRUE(index < 0 || index > 25) << static_cast<int>(u);
  }
}

TEST(NavigationTarget, IsTheDriveFolderUpToVersion5AndMyComputerAbove) {
  EXPECT_EQ(std::u16string(navigationTarget(true, 4)), u"shell:DriveFolder");
  EXPECT_EQ(std::u16string(navigationTarget(true, 5)), u"shell:DriveFolder");
  EXPECT_EQ(std::u16string(navigationTarget(false, 10)), u"shell:DriveFolder");
  EXPECT_EQ(std::u16string(navigationTarget(true, 6)), u"shell:MyComputerFolder");
  EXPECT_EQ(std::u16string(navigationTarget(true, 10)), u"shell:MyComputerFolder");
}

TEST(AddressOnDrive, MatchesFileAddressesOfTheDriveInEitherCase) {
  const int e = driveIndex(u'E');
  EXPECT_TRUE(addressOnDrive(u"file:///E:/", e));
  EXPECT_TRUE(addressOnDrive(u"file:///E:/dir/sub%20folder", e));
  EXPECT_TRUE(addressOnDrive(u"file:///e:/dir", e));
  EXPECT_TRUE(addressOnDrive(u"file:///E:", e));
}

TEST(AddressOnDrive, LeavesOtherDrivesNetworkWebAndMalformedAddressesAlone) {
  const int e = driveIndex(u'E');
  EXPECT_FALSE(addressOnDrive(u"file:///F:/", e));
  EXPECT_FALSE(addressOnDrive(u"file://server/share/E:/", e));
  EXPECT_FALSE(addressOnDrive(u"file://E:/", e));
  EXPECT_FALSE(addressOnDrive(u"http://example.com/E:/", e));
  EXPECT_FALSE(addressOnDrive(u"FILE:///E:/", e));  // the prefix is compared exactly
  EXPECT_FALSE(addressOnDrive(u"file:///E/", e));
  EXPECT_FALSE(addressOnDrive(u"file:///EE:/", e));
  EXPECT_FALSE(addressOnDrive(u"file:///", e));
  EXPECT_FALSE(addressOnDrive(u"file:", e));
  EXPECT_FALSE(addressOnDrive(u"", e));
  EXPECT_FALSE(addressOnDrive(nullptr, e));
}

TEST(AddressOnDrive, NeverReadsPastTheEndOfAShortAddress) {
  // The units after the terminator would match: they must not be looked at.
  const char16_t shortAddress[] = {u'f', u'i', u'l', u'e', 0, u':', u'/', u'/', u'/', u'E', u':'};
  EXPECT_FALSE(addressOnDrive(shortAddress, driveIndex(u'E')));
  const char16_t endsAfterPrefix[] = {u'f', u'i', u'l', u'e', u':', u'/', u'/', u'/', 0, u':'};
  EXPECT_FALSE(addressOnDrive(endsAfterPrefix, driveIndex(char16_t{0})));
}

TEST(ExplorerRelease, MovesEveryWindowOnTheDriveAndLeavesTheOthers) {
  FakeShellWindowsPlatform p;
  p.add(u"file:///E:/");
  p.add(u"file:///F:/photos");
  p.add(u"file://server/share");
  p.add(u"http://example.com/");
  p.add(u"file:///e:/dir/sub");
  releaseWindowsOnDrive(u'E', false, p);
  EXPECT_EQ(p.calls, (Calls{"navigate file:///E:/ -> shell:MyComputerFolder",
                            "navigate file:///e:/dir/sub -> shell:MyComputerFolder"}));
  EXPECT_EQ(p.indexes, (std::vector<int32_t>{0, 1, 2, 3, 4}));
  EXPECT_EQ(p.sleeps, 0);
  p.expectAllLetGo();
}

TEST(ExplorerRelease, ALowerCaseDeviceLetterMatchesUpperCaseAddresses) {
  FakeShellWindowsPlatform p;
  p.add(u"file:///E:/dir");
  releaseWindowsOnDrive(u'e', false, p);
  EXPECT_EQ(p.calls, (Calls{"navigate file:///E:/dir -> shell:MyComputerFolder"}));
}

TEST(ExplorerRelease, NavigatesToTheDriveFolderOnVersion5OrWhenTheVersionIsUnknown) {
  FakeShellWindowsPlatform v5;
  v5.major = 5;
  v5.add(u"file:///E:/");
  releaseWindowsOnDrive(u'E', false, v5);
  EXPECT_EQ(v5.calls, (Calls{"navigate file:///E:/ -> shell:DriveFolder"}));

  FakeShellWindowsPlatform unknown;
  unknown.versionReads = false;
  unknown.add(u"file:///E:/");
  releaseWindowsOnDrive(u'E', false, unknown);
  EXPECT_EQ(unknown.calls, (Calls{"navigate file:///E:/ -> shell:DriveFolder"}));
}

TEST(ExplorerRelease, ClosesWindowsInARowWithoutSkippingTheOnesThatMoveDown) {
  FakeShellWindowsPlatform p;
  p.add(u"file:///F:/");
  p.add(u"file:///E:/");
  p.add(u"file:///E:/a");
  p.add(u"file:///E:/b");
  p.add(u"file:///G:/");
  releaseWindowsOnDrive(u'E', true, p);
  EXPECT_EQ(p.calls, (Calls{"close file:///E:/", "close file:///E:/a", "close file:///E:/b"}));
  // Index 1 is looked at again after each close; the count of 5, read once,
  // bounds the loop although only 2 windows are left.
  EXPECT_EQ(p.indexes, (std::vector<int32_t>{0, 1, 1, 1, 1, 2, 3, 4}));
  EXPECT_EQ(p.countReadings, 1);
  EXPECT_EQ(p.listed().size(), 2u);
  EXPECT_EQ(p.sleeps, 3 * 2);  // each window is gone on the third poll
  p.expectAllLetGo();
}

TEST(ExplorerRelease, NavigatesAWindowWhoseHandleIsNotAvailableInsteadOfClosingIt) {
  FakeShellWindowsPlatform p;
  p.add(u"file:///E:/").hasHandle = false;
  p.add(u"file:///E:/dir");
  releaseWindowsOnDrive(u'E', true, p);
  EXPECT_EQ(p.calls,
            (Calls{"navigate file:///E:/ -> shell:MyComputerFolder", "close file:///E:/dir"}));
  p.expectAllLetGo();
}

TEST(ExplorerRelease, AWindowThatIgnoresTheCloseIsAskedAgainAboutEverySecond) {
  FakeShellWindowsPlatform p;
  p.add(u"file:///E:/").closesIgnored = 2;
  p.add(u"file:///E:/next");
  releaseWindowsOnDrive(u'E', true, p);
  EXPECT_EQ(p.calls, (Calls{"close file:///E:/", "close file:///E:/", "close file:///E:/",
                            "close file:///E:/next"}));
  // Two full seconds of polls for the ignored requests, then 2 sleeps each.
  EXPECT_EQ(p.sleeps, 2 * kClosePolls + 2 + 2);
  EXPECT_EQ(p.indexes, (std::vector<int32_t>{0, 0, 0, 0, 0, 1}));
  p.expectAllLetGo();
}

TEST(ExplorerRelease, AWindowGoneBeforeTheFirstPollIsNotWaitedFor) {
  FakeShellWindowsPlatform p;
  p.add(u"file:///E:/").pollsToClose = 1;
  releaseWindowsOnDrive(u'E', true, p);
  EXPECT_EQ(p.sleeps, 0);
  EXPECT_EQ(p.calls, (Calls{"close file:///E:/"}));
}

TEST(ExplorerRelease, AFailureForOneWindowSkipsOnlyThatWindow) {
  FakeShellWindowsPlatform p;
  p.add(u"file:///E:/1").isBrowser = false;
  p.add(u"file:///E:/2").addressReads = false;
  p.add(u"file:///E:/3");
  releaseWindowsOnDrive(u'E', true, p);
  EXPECT_EQ(p.calls, (Calls{"close file:///E:/3"}));
  EXPECT_EQ(p.indexes, (std::vector<int32_t>{0, 1, 2, 2}));
  p.expectAllLetGo();
}

TEST(ExplorerRelease, DoesNothingWithoutWindowsCollectionOrCount) {
  FakeShellWindowsPlatform empty;
  releaseWindowsOnDrive(u'E', true, empty);
  EXPECT_EQ(empty.countReadings, 1);
  EXPECT_TRUE(empty.indexes.empty());
  empty.expectAllLetGo();

  FakeShellWindowsPlatform noCollection;
  noCollection.collectionOpens = false;
  noCollection.add(u"file:///E:/");
  releaseWindowsOnDrive(u'E', true, noCollection);
  EXPECT_EQ(noCollection.countReadings, 0);
  EXPECT_TRUE(noCollection.calls.empty());

  FakeShellWindowsPlatform noCount;
  noCount.countReads = false;
  noCount.add(u"file:///E:/");
  releaseWindowsOnDrive(u'E', false, noCount);
  EXPECT_TRUE(noCount.indexes.empty());
  EXPECT_TRUE(noCount.calls.empty());
  noCount.expectAllLetGo();
}

// Runs the body at once on its shell platform, as the release thread would.
struct FakeExplorerReleasePlatform : ExplorerReleasePlatform {
  FakeShellWindowsPlatform& shell;
  std::vector<uint32_t> limits;
  explicit FakeExplorerReleasePlatform(FakeShellWindowsPlatform& s) : shell(s) {}
  bool runReleaseThread(Body body, uintptr_t argument, uint32_t limitMs) override {
    limits.push_back(limitMs);
    body(argument, shell);
    return true;
  }
};

TEST(ExplorerRelease, RunsOnTheLimitedThreadWithTheDriveAndOptionItWasGiven) {
  for (bool close : {false, true}) {
    FakeShellWindowsPlatform shell;
    shell.add(u"file:///E:/");
    shell.add(u"file:///z:/docs");
    FakeExplorerReleasePlatform thread(shell);
    releaseExplorerWindows(u'z', close, thread);
    EXPECT_EQ(thread.limits, (std::vector<uint32_t>{kReleaseLimitMs}));
    EXPECT_EQ(shell.calls, (Calls{close ? "close file:///z:/docs"
                                        : "navigate file:///z:/docs -> shell:MyComputerFolder"}));
    shell.expectAllLetGo();
  }
}

}  // namespace
}  // namespace tarnwick
