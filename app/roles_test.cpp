#include "app/roles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "device/fake_resolve_platform.h"

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

constexpr char16_t kDrive1Query[] =
    u"Select PNPDeviceID From Win32_DiskDrive Where DeviceID=\"\\\\\\\\.\\\\PhysicalDrive1\"";

// A USB stick for drive E: physical drive 1 in WMI, its disk under a
// removable USB device. Resolution begins by opening the volume, which the
// worker's log notes.
struct Stick : FakeResolvePlatform {
  explicit Stick(Calls& log) : log(log) {
    add(1, {u"USB\\VID_0781\\S1", 0, true, true, true, true, std::nullopt, u"USB Mass Storage"});
    add(2, {u"USBSTOR\\DISK\\S1", 1, false, true, true, true, u"Cruzer", u"Disk drive"});
    wmiRows[kDrive1Query] = u"USBSTOR\\DISK\\S1";
  }
  bool openVolume(const char16_t* path) override {
    log.push_back("resolve " + narrow(path));
    return FakeResolvePlatform::openVolume(path);
  }
  Calls& log;
};

// Eject requests, noted with the device and whether veto buffers were passed.
struct LoggedEject : EjectPlatform {
  explicit LoggedEject(Calls& log) : log(log) {}
  bool createVolumeSet() override { return true; }
  bool openDeviceInfo(const char16_t* id, DevNode& node) override {
    opened = narrow(id);
    node = 1;
    return true;
  }
  uint32_t requestEject(DevNode, uint32_t* type, char16_t* name, uint32_t) override {
    log.push_back("eject " + opened + (type != nullptr && name != nullptr ? " veto" : " -"));
    return kCrSuccess;
  }
  void destroyVolumeSet() override {}
  Calls& log;
  std::string opened;
};

struct FakeWorkerHost : WorkerHost {
  explicit FakeWorkerHost(Calls& log) : calls(log) {}
  bool windowCreated = true, served = false;
  BannerSettings settings;
  std::string bannerInstanceId;  // of the record the banner was built for
  EjectPlatform* bannerEjector = nullptr;
  const RemovableDevice* device = nullptr;  // while the banner exists
  Calls& calls;
  void openDriveFolder(char16_t letter) override {
    calls.push_back(std::string("open ") + static_cast<char>(letter));
  }
  void registerBannerClass() override { calls.push_back("register"); }
  bool bannerServesDrive(char16_t letter) override {
    EXPECT_EQ(letter, u'E');
    return served;
  }
  void createBanner(RemovableDevice& d, const BannerSettings& s, EjectPlatform& e) override {
    settings = s;
    bannerInstanceId = narrow(d.instanceId);
    bannerEjector = &e;
    device = &d;
    calls.push_back("banner " + std::to_string(s.askFirst) + std::to_string(s.systemNotices));
  }
  bool createBannerWindow() override {
    calls.push_back("window");
    return windowCreated;
  }
  // The banner's requests pass veto buffers exactly when the record asks for them.
  void runMessageLoop() override {
    calls.push_back("loop veto " + std::to_string(device->wantVetoInfo));
  }
  void destroyBanner() override {
    calls.push_back("~banner");
    device = nullptr;
  }
  void startCleanupBatch() override { calls.push_back("cleanup"); }
};

// One worker run: its host, the drive's device and the eject requests, all
// noted in one log.
struct WorkerRun {
  Calls calls;
  FakeWorkerHost host{calls};
  Stick resolver{calls};
  LoggedEject ejector{calls};
  void run(const LaunchOptions& options) { runWorker(options, host, resolver, ejector); }
};

// The worker's record is the only no-throw allocation of its run; a test can
// refuse those to play a system out of memory.
bool refuseNothrowAllocations = false;

TEST(Worker, BannerRunAsksForVetoInfoUnlessTheSystemReports) {
  WorkerRun w;
  w.run(withDrive(u'E'));
  EXPECT_EQ(w.calls, (Calls{"register", "resolve \\\\.\\E:", "banner 00", "window", "loop veto 1",
                            "~banner"}));
  // The banner is built for the resolved device and ejects it as the worker would.
  EXPECT_EQ(w.host.bannerInstanceId, "USB\\VID_0781\\S1");
  EXPECT_EQ(w.host.bannerEjector, &w.ejector);
  LaunchOptions notices = withDrive(u'E');
  notices.askFirst = notices.systemNotices = 1;
  WorkerRun w2;
  w2.run(notices);
  EXPECT_EQ(w2.calls, (Calls{"register", "resolve \\\\.\\E:", "banner 11", "window", "loop veto 0",
                             "~banner"}));
  EXPECT_FALSE(w2.host.settings.offerKill);
  LaunchOptions kill = withDrive(u'E');
  kill.offerKill = 1;
  WorkerRun w3;
  w3.run(kill);
  EXPECT_TRUE(w3.host.settings.offerKill);
}

TEST(Worker, SilentOrWindowlessMakesOneEjectionWithoutVetoBuffers) {
  LaunchOptions silent = withDrive(u'E');
  silent.silent = 1;
  WorkerRun w;
  w.run(silent);
  // The class is registered and the banner record built even when silent.
  EXPECT_EQ(w.calls, (Calls{"register", "resolve \\\\.\\E:", "banner 00",
                            "eject USB\\VID_0781\\S1 -", "~banner"}));
  WorkerRun noWindow;
  noWindow.host.windowCreated = false;
  noWindow.run(withDrive(u'E'));
  EXPECT_EQ(noWindow.calls, (Calls{"register", "resolve \\\\.\\E:", "banner 00", "window",
                                   "eject USB\\VID_0781\\S1 -", "~banner"}));
}

TEST(Worker, UnresolvedDriveShowsNothingButStillCleansUp) {
  LaunchOptions o = withDrive(u'E');
  o.openDrive = o.askFirst = 1;
  o.deleteExecutable = 1;
  WorkerRun w;
  w.resolver.volumeOpens = false;
  w.run(o);
  EXPECT_EQ(w.calls, (Calls{"open E", "register", "resolve \\\\.\\E:", "cleanup"}));
  // Without memory for its record the worker does nothing at all.
  WorkerRun noMemory;
  refuseNothrowAllocations = true;
  noMemory.run(o);
  refuseNothrowAllocations = false;
  EXPECT_TRUE(noMemory.calls.empty());
}

TEST(Worker, ADriveAlreadyServedByABannerGetsNoSecondBannerOrRequestButStillCleansUp) {
  for (bool silent : {false, true}) {
    LaunchOptions o = withDrive(u'E');
    o.silent = silent ? 1 : 0;
    o.deleteExecutable = 1;
    WorkerRun w;
    w.host.served = true;
    w.run(o);
    EXPECT_EQ(w.calls, (Calls{"register", "resolve \\\\.\\E:", "cleanup"}));
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
  void relaunchFromTemp(ResolvePlatform& resolver) override {
    calls.push_back("relaunch");
    relaunchResolver = &resolver;
  }
  ResolvePlatform* relaunchResolver = nullptr;
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
  explicit NotedWorker(Calls& session) : FakeWorkerHost(session) {}
  void registerBannerClass() override { calls.push_back("worker"); }
};

// A drive that resolves to nothing: the worker ends after its first steps.
struct NoDrive : FakeResolvePlatform {
  NoDrive() { volumeOpens = false; }
};

void runChosenRole(const LaunchOptions& options, FakeSessionHost& session,
                   ResolvePlatform& resolver) {
  NotedWaiter waiter(session.calls);
  NotedWorker worker(session.calls);
  Calls ejections;
  LoggedEject ejector(ejections);
  runChosenRole(options, session, waiter, worker, resolver, ejector);
  EXPECT_TRUE(ejections.empty());
}

void runChosenRole(const LaunchOptions& options, FakeSessionHost& session) {
  NoDrive resolver;
  runChosenRole(options, session, resolver);
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

  // The launcher's relaunch resolves its drive through the platform the role was given.
  FakeSessionHost launcher;
  NoDrive resolver;
  runChosenRole(LaunchOptions{}, launcher, resolver);
  EXPECT_EQ(launcher.calls, (Calls{"lock 360000", "relaunch", "unlock"}));
  EXPECT_EQ(launcher.relaunchResolver, &resolver);
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

// Stands in for the library's no-throw allocation so that the tests above can
// refuse it; otherwise it allocates as the library would, from the heap that
// the library's deallocation returns memory to.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  if (tarnwick::refuseNothrowAllocations) return nullptr;
  return std::malloc(size != 0 ? size : 1);
}
