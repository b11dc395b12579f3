// The three roles a process of the program can play, and the sequences each
// runs. The sequences reach the system and the other subsystems only through
// the interfaces below, so that tests can record what they do.
#pragma once

#include <cstdint>

#include "app/options.h"
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

// What the worker needs of its device, its banner and the shell. One object
// holds the worker's device record and banner record between the calls.
class WorkerHost {
 public:
  virtual ~WorkerHost() = default;
  // Builds the device record for the drive; false when there is no memory for it.
  virtual bool createDevice(char16_t driveLetter) = 0;
  // Opens the drive's root folder in the shell.
  virtual void openDriveFolder(char16_t driveLetter) = 0;
  // Registers the banner's window class.
  virtual void registerBannerClass() = 0;
  // Finds the device to eject for the drive and its names; false when there is none.
  virtual bool resolveDevice() = 0;
  // Whether a banner of another worker already serves the drive.
  virtual bool bannerServesDrive(char16_t driveLetter) = 0;
  // Builds the banner record for the resolved device.
  virtual void createBanner(const BannerSettings& settings) = 0;
  // Creates and shows the banner's window; false when it cannot be created.
  virtual bool createBannerWindow() = 0;
  // Whether eject requests pass veto buffers (and so keep the system silent).
  virtual void setWantVetoInfo(bool want) = 0;
  // Runs the banner's messages until its window is gone.
  virtual void runMessageLoop() = 0;
  // One eject request without a banner; true when it was accepted.
  virtual bool ejectOnce() = 0;
  // Destroys the banner record (and its window).
  virtual void destroyBanner() = 0;
  // Destroys the device record.
  virtual void destroyDevice() = 0;
  // Starts the batch that deletes the program's executable after the process ends.
  virtual void startCleanupBatch() = 0;
};

// The worker's run after it has signalled its launcher. The banner takes its
// settings from `options` when it is built and keeps its own from then on.
void runWorker(const LaunchOptions& options, WorkerHost& host);

// What the role choice needs of the session's shared objects.
class SessionHost {
 public:
  virtual ~SessionHost() = default;
  virtual bool isValid() = 0;
  virtual void signalStarted() = 0;  // set the started event and let go of it
  virtual WaitResult waitLauncherMutex(uint32_t limitMs) = 0;
  virtual void releaseLauncherMutex() = 0;
  virtual void relaunchFromTemp() = 0;
};

// Runs the role chosen from `options` when the session is valid: the waiter
// with `process`, the worker with `worker`, the launcher with the session.
void runChosenRole(const LaunchOptions& options, SessionHost& session, WaitedProcess& process,
                   WorkerHost& worker);

}  // namespace tarnwick
