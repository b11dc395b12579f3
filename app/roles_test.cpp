#include "app/roles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarnwick {
namespace {

using Calls = std::vector<std::string>;

LaunchOptions withDrive(char16_t letter) {
  LaunchOptions o;
  o.driveLetter = letter;
  return o;
}

TEST(RoleChoice, ProcessIdFirstThenDriveThenLauncher) {
  LaunchOptions both = withDrive(u'E');
  both.waitPid = 1234;
  EXPECT_EQ(chooseRole(both), Role::Waiter);
  EXPECT_EQ(chooseRole(withDrive(u'E')), Role::Worker);
  EXPECT_EQ(chooseRole(LaunchOptions{}), Role::Launcher);
}

struct FakeProcess : WaitedProcess {
  bool opens = true;
  bool ownExecutable = true;
  WaitResult result = WaitResult::Signalled;
  Calls calls;
  bool open(int32_t pid) override {
    calls.push_back("open " + std::to_string(pid));
    return opens;
  }
  WaitResult waitForEnd(uint32_t ms) override {
    calls.push_back("wait " + std::to_string(ms));
    return result;
  }
  bool runsOwnExecutable() override {
    calls.push_back("same exe");
    return ownExecutable;
  }
  void terminate(uint32_t code) override { calls.push_back("terminate " + std::to_string(code)); }
  void close() override { calls.push_back("close"); }
};

TEST(Waiter, LeavesAProcessThatEndsInTimeAlone) {
  FakeProcess p;
  runWaiter(704, p);
  EXPECT_EQ(p.calls, (Calls{"open 704", "wait 30000", "close"}));
}

TEST(Waiter, EndsAProcessThatOutlivesTheLimitOrCannotBeWaitedFor) {
  for (WaitResult r : {WaitResult::TimedOut, WaitResult::Failed, WaitResult::Abandoned}) {
    FakeProcess p;
    p.result = r;
    runWaiter(9, p);
    EXPECT_EQ(p.calls, (Calls{"open 9", "wait 30000", "same exe", "terminate 0", "close"}));
  }
  // The id now belongs to a process of another program: it is left alone.
  FakeProcess other;
  other.result = WaitResult::TimedOut;
  other.ownExecutable = false;
  runWaiter(9, other);
  EXPECT_EQ(other.calls, (Calls{"open 9", "wait 30000", "same exe", "close"}));
  FakeProcess gone;
  gone.opens = false;
  runWaiter(9, gone);
  EXPECT_EQ(gone.calls, (Calls{"open 9"}));
}

struct FakeWorker : WorkerHost {
  bool allocates = true, resolves = true, windowCreated = true;
  Calls calls;
  bool createDevice(char16_t letter) override {
    calls.push_back(std::string("device ") + static_cast<char>(letter));
    return allocates;
  }
  void openDriveFolder(char16_t letter) override {
    calls.push_back(std::string("open ") + static_cast<char>(letter));
  }
  void registerBannerClass() override { calls.push_back("register"); }
  bool resolveDevice() override {
    calls.push_back("resolve");
    return resolves;
  }
  void createBanner(bool askFirst, bool systemNotices) override {
    calls.push_back("banner " + std::to_string(askFirst) + std::to_string(systemNotices));
  }
  bool createBannerWindow() override {
    calls.push_back("window");
    return windowCreated;
  }
  void setWantVetoInfo(bool want) override { calls.push_back("veto " + std::to_string(want)); }
  void runMessageLoop() override { calls.push_back("loop"); }
  bool ejectOnce() override {
    calls.push_back("eject");
    return false;
  }
  void destroyBanner() override { calls.push_back("~banner"); }
  void destroyDevice() override { calls.push_back("~device"); }
  void startCleanupBatch() override { calls.push_back("cleanup"); }
};

TEST(Worker, BannerRunAsksForVetoInfoUnlessTheSystemReports) {
  FakeWorker w;
  runWorker(withDrive(u'E'), w);
  EXPECT_EQ(w.calls, (Calls{"device E", "register", "resolve", "banner 00", "window", "veto 1",
                            "loop", "~banner", "~device"}));
  LaunchOptions notices = withDrive(u'E');
  notices.askFirst = notices.systemNotices = 1;
  FakeWorker w2;
  runWorker(notices, w2);
  EXPECT_EQ(w2.calls, (Calls{"device E", "register", "resolve", "banner 11", "window", "veto 0",
                             "loop", "~banner", "~device"}));
}

TEST(Worker, SilentOrWindowlessMakesOneEjectionWithoutVetoBuffers) {
  LaunchOptions silent = withDrive(u'E');
  silent.silent = 1;
  FakeWorker w;
  runWorker(silent, w);
  // The class is registered and the banner record built even when silent.
  EXPECT_EQ(w.calls, (Calls{"device E", "register", "resolve", "banner 00", "veto 0", "eject",
                            "~banner", "~device"}));
  FakeWorker noWindow;
  noWindow.windowCreated = false;
  runWorker(withDrive(u'E'), noWindow);
  EXPECT_EQ(noWindow.calls, (Calls{"device E", "register", "resolve", "banner 00", "window",
                                   "veto 0", "eject", "~banner", "~device"}));
}

TEST(Worker, UnresolvedDriveShowsNothingButStillCleansUp) {
  LaunchOptions o = withDrive(u'E');
  o.openDrive = o.askFirst = 1;
  o.deleteExecutable = 1;
  FakeWorker w;
  w.resolves = false;
  runWorker(o, w);
  EXPECT_EQ(w.calls, (Calls{"device E", "open E", "register", "resolve", "~device", "cleanup"}));
  FakeWorker noMemory;
  noMemory.allocates = false;
  runWorker(o, noMemory);
  EXPECT_EQ(noMemory.calls, (Calls{"device E"}));
}

struct FakeSession : SessionHost {
  bool valid = true;
  WaitResult mutex = WaitResult::Signalled;
  Calls calls;
  bool isValid() override { return valid; }
  void signalStarted() override { calls.push_back("started"); }
  WaitResult waitLauncherMutex(uint32_t ms) override {
    calls.push_back("lock " + std::to_string(ms));
    return mutex;
  }
  void releaseLauncherMutex() override { calls.push_back("unlock"); }
  void runWaiter(int32_t pid) override { calls.push_back("waiter " + std::to_string(pid)); }
  void runWorker() override { calls.push_back("worker"); }
  void relaunchFromTemp() override { calls.push_back("relaunch"); }
};

TEST(Session, EachRoleRunsItsSequence) {
  LaunchOptions both = withDrive(u'E');
  both.waitPid = 1234;
  FakeSession waiter;
  runChosenRole(both, waiter);
  EXPECT_EQ(waiter.calls, (Calls{"waiter 1234"}));  // no started signal, no worker

  FakeSession worker;
  runChosenRole(withDrive(u'E'), worker);
  EXPECT_EQ(worker.calls, (Calls{"started", "worker"}));

  FakeSession launcher;
  runChosenRole(LaunchOptions{}, launcher);
  EXPECT_EQ(launcher.calls, (Calls{"lock 360000", "relaunch", "unlock"}));
}

TEST(Session, InvalidSessionRunsNoRoleAndOnlyANormalLockRelaunches) {
  FakeSession invalid;
  invalid.valid = false;
  LaunchOptions waiter;
  waiter.waitPid = 5;
  runChosenRole(waiter, invalid);
  EXPECT_TRUE(invalid.calls.empty());

  for (WaitResult r : {WaitResult::TimedOut, WaitResult::Failed}) {
    FakeSession s;
    s.mutex = r;
    runChosenRole(LaunchOptions{}, s);
    EXPECT_EQ(s.calls, (Calls{"lock 360000"}));
  }
  // An abandoned mutex was received all the same: it is released, not kept.
  FakeSession abandoned;
  abandoned.mutex = WaitResult::Abandoned;
  runChosenRole(LaunchOptions{}, abandoned);
  EXPECT_EQ(abandoned.calls, (Calls{"lock 360000", "unlock"}));
}

}  // namespace
}  // namespace tarnwick
