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

struct FakeWaitedProcess : WaitedProcess {
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
  FakeWaitedProcess p;
  runWaiter(704, p);
  EXPECT_EQ(p.calls, (Calls{"open 704", "wait 30000", "close"}));
}

TEST(Waiter, EndsAProcessThatOutlivesTheLimitOrCannotBeWaitedFor) {
  for (WaitResult r : {WaitResult::TimedOut, WaitResult::Failed, WaitResult::Abandoned}) {
    FakeWaitedProcess p;
    p.result = r;
    runWaiter(9, p);
    EXPECT_EQ(p.calls, (Calls{"open 9", "wait 30000", "same exe", "terminate 0", "close"}));
  }
  // The id now belongs to a process of another program: it is left alone.
  FakeWaitedProcess other;
  other.result = WaitResult::TimedOut;
  other.ownExecutable = false;
  runWaiter(9, other);
  EXPECT_EQ(other.calls, (Calls{"open 9", "wait 30000", "same exe", "close"}));
  FakeWaitedProcess gone;
  gone.opens = false;
  runWaiter(9, gone);
  EXPECT_EQ(gone.calls, (Calls{"open 9"}));
}

struct FakeWorkerHost : WorkerHost {
  bool allocates = true, resolves = true, windowCreated = true, served = false;
  BannerSettings settings;
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
  bool bannerServesDrive(char16_t letter) override {
    EXPECT_EQ(letter, u'E');
    return served;
  }
  void createBanner(const BannerSettings& s) override {
    settings = s;
    calls.push_back("banner " + std::to_string(s.askFirst) + std::to_string(s.systemNotices));
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
  FakeWorkerHost w;
  runWorker(withDrive(u'E'), w);
  EXPECT_EQ(w.calls, (Calls{"device E", "register", "resolve", "banner 00", "window", "veto 1",
                            "loop", "~banner", "~device"}));
  LaunchOptions notices = withDrive(u'E');
  notices.askFirst = notices.systemNotices = 1;
  FakeWorkerHost w2;
  runWorker(notices, w2);
  EXPECT_EQ(w2.calls, (Calls{"device E", "register", "resolve", "banner 11", "window", "veto 0",
                             "loop", "~banner", "~device"}));
  EXPECT_FALSE(w2.settings.offerKill);
  LaunchOptions kill = withDrive(u'E');
  kill.offerKill = 1;
  FakeWorkerHost w3;
  runWorker(kill, w3);
  EXPECT_TRUE(w3.settings.offerKill);
}

TEST(Worker, SilentOrWindowlessMakesOneEjectionWithoutVetoBuffers) {
  LaunchOptions silent = withDrive(u'E');
  silent.silent = 1;
  FakeWorkerHost w;
  runWorker(silent, w);
  // The class is registered and the banner record built even when silent.
  EXPECT_EQ(w.calls, (Calls{"device E", "register", "resolve", "banner 00", "veto 0", "eject",
                            "~banner", "~device"}));
  FakeWorkerHost noWindow;
  noWindow.windowCreated = false;
  runWorker(withDrive(u'E'), noWindow);
  EXPECT_EQ(noWindow.calls, (Calls{"device E", "register", "resolve", "banner 00", "window",
                                   "veto 0", "eject", "~banner", "~device"}));
}

TEST(Worker, UnresolvedDriveShowsNothingButStillCleansUp) {
  LaunchOptions o = withDrive(u'E');
  o.openDrive = o.askFirst = 1;
  o.deleteExecutable = 1;
  FakeWorkerHost w;
  w.resolves = false;
  runWorker(o, w);
  EXPECT_EQ(w.calls, (Calls{"device E", "open E", "register", "resolve", "~device", "cleanup"}));
  FakeWorkerHost noMemory;
  noMemory.allocates = false;
  runWorker(o, noMemory);
  EXPECT_EQ(noMemory.calls, (Calls{"device E"}));
}

TEST(Worker, ADriveAlreadyServedByABannerGetsNoSecondBannerOrRequestButStillCleansUp) {
  for (bool silent : {false, true}) {
    LaunchOptions o = withDrive(u'E');
    o.silent = silent ? 1 : 0;
    o.deleteExecutable = 1;
    FakeWorkerHost w;
    w.served = true;
    runWorker(o, w);
    EXPECT_EQ(w.calls, (Calls{"device E", "register", "resolve", "~device", "cleanup"}));
  }
}

struct FakeSessionHost : SessionHost {
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
  void relaunchFromTemp() override { calls.push_back("relaunch"); }
};

// Role hosts that note in the session's record only that their role began.
struct NotedWaiter : WaitedProcess {
  explicit NotedWaiter(Calls& calls) : calls(calls) {}
  bool open(int32_t pid) override {
    calls.push_back("waiter " + std::to_string(pid));
    return false;
  }
  WaitResult waitForEnd(uint32_t) override { return WaitResult::Signalled; }
  bool runsOwnExecutable() override { return true; }
  void terminate(uint32_t) override {}
  void close() override {}
  Calls& calls;
};

struct NotedWorker : FakeWorkerHost {
  explicit NotedWorker(Calls& session) : session(session) {}
  bool createDevice(char16_t) override {
    session.push_back("worker");
    return false;
  }
  Calls& session;
};

void runChosenRole(const LaunchOptions& options, FakeSessionHost& session) {
  NotedWaiter waiter(session.calls);
  NotedWorker worker(session.calls);
  runChosenRole(options, session, waiter, worker);
}

TEST(Session, EachRoleRunsItsSequence) {
  LaunchOptions both = withDrive(u'E');
  both.waitPid = 1234;
  FakeSessionHost waiter;
  runChosenRole(both, waiter);
  EXPECT_EQ(waiter.calls, (Calls{"waiter 1234"}));  // no started signal, no worker

  FakeSessionHost worker;
  runChosenRole(withDrive(u'E'), worker);
  EXPECT_EQ(worker.calls, (Calls{"started", "worker"}));

  FakeSessionHost launcher;
  runChosenRole(LaunchOptions{}, launcher);
  EXPECT_EQ(launcher.calls, (Calls{"lock 360000", "relaunch", "unlock"}));
}

TEST(Session, InvalidSessionRunsNoRoleAndOnlyANormalLockRelaunches) {
  FakeSessionHost invalid;
  invalid.valid = false;
  LaunchOptions waiter;
  waiter.waitPid = 5;
  runChosenRole(waiter, invalid);
  EXPECT_TRUE(invalid.calls.empty());

  for (WaitResult r : {WaitResult::TimedOut, WaitResult::Failed}) {
    FakeSessionHost s;
    s.mutex = r;
    runChosenRole(LaunchOptions{}, s);
    EXPECT_EQ(s.calls, (Calls{"lock 360000"}));
  }
  // An abandoned mutex was received all the same: it is released, not kept.
  FakeSessionHost abandoned;
  abandoned.mutex = WaitResult::Abandoned;
  runChosenRole(LaunchOptions{}, abandoned);
  EXPECT_EQ(abandoned.calls, (Calls{"lock 360000", "unlock"}));
}

}  // namespace
}  // namespace tarnwick
