// The three roles a process of the program can play, and the sequences each
// runs. The sequences reach the system and the other subsystems only through
// the interfaces below, so that tests can record what they do.
#pragma once

#include <cstdint>

#include "app/options.h"
#include "device/eject.h"
#include "device/removable_device.h"
#include "device/resolve.h"
#include "ui/banner_settings.h"

namespace tarnwick {

enum class Role { Waiter, Worker, Launcher };

// First match: a process id was given, a drive letter was given, neither.
Role chooseRole(const LaunchOptions& options);

// How a wait on a kernel object ended.
enum class WaitResult { Signalled, Abandoned, TimedOut, Failed };

constexpr uint32_t kLauncherMutexWaitMs = 360000;
constexpr uint32_t kWaiterLimitMs = 30000;

// What the waiter needs: one process, opened by id, waited for and ended.
class WaitedProcess {
 public:
  virtual ~WaitedProcess() = default;
  virtual bool open(int32_t pid) = 0;  // full access; false when it cannot be opened
  virtual WaitResult waitForEnd(uint32_t limitMs) = 0;
  // True when the process runs the very executable file that this process runs.
  virtual bool runsOwnExecutable() = 0;
  virtual void terminate(uint32_t exitCode) = 0;
  virtual void close() = 0;
};

// Waits up to 30000 ms for the process to end, then ends it with exit code 0,
// but only when it still runs this program's own executable: the id may have
// been given to an unrelated process once the awaited one ended.
void runWaiter(int32_t pid, WaitedProcess& process);

// What the worker needs of its banner and the shell. One object holds the
// worker's banner record between the calls.
class WorkerHost {
 public:
  virtual ~WorkerHost() = default;
  // Opens the drive's root folder in the shell.
  virtual void openDriveFolder(char16_t driveLetter) = 0;
  // Registers the banner's window class.
  virtual void registerBannerClass() = 0;
  // Whether a banner of another worker already serves the drive.
  virtual bool bannerServesDrive(char16_t driveLetter) = 0;
  // Builds the banner record for the resolved device, which outlives it; the
  // banner's eject requests go through `ejector`.
  virtual void createBanner(RemovableDevice& device, const BannerSettings& settings,
                            EjectPlatform& ejector) = 0;
  // Creates and shows the banner's window; false when it cannot be created.
  virtual bool createBannerWindow() = 0;
  // Runs the banner's messages until its window is gone.
  virtual void runMessageLoop() = 0;
  // Destroys the banner record (and its window).
  virtual void destroyBanner() = 0;
  // Starts the batch that deletes the program's executable after the process ends.
  virtual void startCleanupBatch() = 0;
};

// The worker's run after it has signalled its launcher. It owns the device
// record, resolves it through `resolver` and makes its eject requests, and
// the banner's, through `ejector`. The banner takes its settings from
// `options` when it is built and keeps its own from then on.
void runWorker(const LaunchOptions& options, WorkerHost& host, ResolvePlatform& resolver,
               EjectPlatform& ejector);

// What the role choice needs of the session's shared objects.
class SessionHost {
 public:
  virtual ~SessionHost() = default;
  virtual bool isValid() = 0;
  virtual void signalStarted() = 0;  // set the started event and let go of it
  virtual WaitResult waitLauncherMutex(uint32_t limitMs) = 0;
  virtual void releaseLauncherMutex() = 0;
  // Starts a copy of the executable from the temporary folder as the worker
  // for its own drive, when `resolver` finds that drive ejectable and no
  // banner serves it yet.
  virtual void relaunchFromTemp(ResolvePlatform& resolver) = 0;
};

// Runs the role chosen from `options` when the session is valid: the waiter
// with `process`, the worker with `worker`, the launcher with the session.
// The worker and the launcher reach the drive's device through `resolver`
// and `ejector`.
void runChosenRole(const LaunchOptions& options, SessionHost& session, WaitedProcess& process,
                   WorkerHost& worker, ResolvePlatform& resolver, EjectPlatform& ejector);

}  // namespace tarnwick
