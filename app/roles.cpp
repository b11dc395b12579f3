#include "app/roles.h"

#include <memory>
#include <new>

namespace tarnwick {

Role chooseRole(const LaunchOptions& options) {
  if (options.waitPid != 0) return Role::Waiter;
  if (options.driveLetter != 0) return Role::Worker;
  return Role::Launcher;
}

void runWaiter(int32_t pid, WaitedProcess& process) {
  if (!process.open(pid)) return;  // already ended, or not ours to wait for
  if (process.waitForEnd(kWaiterLimitMs) != WaitResult::Signalled && process.runsOwnExecutable()) {
    process.terminate(0);
  }
  process.close();
}

void runWorker(const LaunchOptions& options, WorkerHost& host, ResolvePlatform& resolver,
               EjectPlatform& ejector) {
  std::unique_ptr<RemovableDevice> device(new (std::nothrow) RemovableDevice(options.driveLetter));
  if (!device) return;  // no memory for the record: not even the clean-up batch
  if (options.openDrive) host.openDriveFolder(options.driveLetter);
  host.registerBannerClass();
  // A launcher checks for a banner on its drive before it starts a worker, but
  // a worker it started just before may not have shown its banner yet: a
  // second worker for the same drive ends here, quietly, as the launcher would.
  if (resolveDevice(*device, resolver) && !host.bannerServesDrive(options.driveLetter)) {
    BannerSettings settings;
    settings.askFirst = options.askFirst != 0;
    settings.systemNotices = options.systemNotices != 0;
    settings.offerKill = options.offerKill != 0;
    settings.closeExplorer = options.closeExplorer != 0;
    host.createBanner(*device, settings, ejector);
    if (!options.silent && host.createBannerWindow()) {
      // Veto buffers keep the system silent: with system notices the system
      // tells the user; otherwise the banner does.
      device->wantVetoInfo = options.systemNotices == 0 ? 1 : 0;
      host.runMessageLoop();
    } else {
      device->wantVetoInfo = 0;
      ejectDevice(*device, ejector);  // the system reports the outcome
    }
    host.destroyBanner();
  }
  device.reset();
  if (options.deleteExecutable) host.startCleanupBatch();
}

void runChosenRole(const LaunchOptions& options, SessionHost& session, WaitedProcess& process,
                   WorkerHost& worker, ResolvePlatform& resolver, EjectPlatform& ejector) {
  if (!session.isValid()) return;
  switch (chooseRole(options)) {
    case Role::Waiter: runWaiter(options.waitPid, process); break;
    case Role::Worker:
      session.signalStarted();
      runWorker(options, worker, resolver, ejector);
      break;
    case Role::Launcher: {
      // Only a normal acquisition goes on; abandoned, timed out or failed ends the role.
      // An abandoned mutex is owned all the same: give it back, or every later
      // launcher would find it abandoned too.
      const WaitResult lock = session.waitLauncherMutex(kLauncherMutexWaitMs);
      if (lock == WaitResult::Abandoned) session.releaseLauncherMutex();
      if (lock != WaitResult::Signalled) return;
      session.relaunchFromTemp(resolver);
      session.releaseLauncherMutex();
      break;
    }
  }
}

}  // namespace tarnwick
