// The three roles a process of the program can play, and the sequences each
// runs. The sequences reach the system and the other subsystems only through
// the interfaces below, so that tests can record what they do.
#pragma once

#include <cstdint>

#include "app/options.h"

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
  virtual bool createDevice(char16_t driveLetter) = 0;  // false: no memory
  virtual void openDriveFolder(char16_t driveLetter) = 0;
  virtual void registerBannerClass() = 0;
  virtual bool resolveDevice() = 0;
  virtual void createBanner(bool askFirst, bool systemNotices) = 0;
  virtual bool createBannerWindow() = 0;
  virtual void setWantVetoInfo(bool want) = 0;
  virtual void runMessageLoop() = 0;
  virtual bool ejectOnce() = 0;
  virtual void destroyBanner() = 0;
  virtual void destroyDevice() = 0;
  virtual void startCleanupBatch() = 0;
};

// The worker's run after it has signalled its launcher. `options` is the
// process-wide record: the banner may change askFirst while it runs.
void runWorker(const LaunchOptions& options, WorkerHost& host);

// What the role choice needs of the session's shared objects.
class SessionHost {
 public:
  virtual ~SessionHost() = default;
  virtual bool isValid() = 0;
  virtual void signalStarted() = 0;  // set the started event and let go of it
  virtual WaitResult waitLauncherMutex(uint32_t limitMs) = 0;
  virtual void releaseLauncherMutex() = 0;
  virtual void runWaiter(int32_t pid) = 0;
  virtual void runWorker() = 0;
  virtual void relaunchFromTemp() = 0;
};

// Runs the role chosen from `options` when the session is valid.
void runChosenRole(const LaunchOptions& options, SessionHost& session);

}  // namespace tarnwick
