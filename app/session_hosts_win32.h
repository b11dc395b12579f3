// The Windows side of the roles: the session's shared objects, the waited-for
// process and the worker's banner, behind the interfaces that the role
// sequences use.
#pragma once

#include <memory>

#include "app/roles.h"
#include "app/session_controller_win32.h"
#include "ui/banner_window_proc_win32.h"
#include "ui/banner_window_win32.h"

namespace tarnwick {

class WindowsWaitedProcess final : public WaitedProcess {
 public:
  bool open(int32_t pid) override;
  WaitResult waitForEnd(uint32_t limitMs) override;
  bool runsOwnExecutable() override;
  void terminate(uint32_t exitCode) override;
  void close() override;

 private:
  UniqueHandle process_;
};

class WindowsWorkerHost final : public WorkerHost {
 public:
  explicit WindowsWorkerHost(SessionController& controller) : controller_(controller) {}
  void openDriveFolder(char16_t driveLetter) override;
  void registerBannerClass() override;
  bool bannerServesDrive(char16_t driveLetter) override;
  void createBanner(RemovableDevice& device, const BannerSettings& settings,
                    EjectPlatform& ejector) override;
  bool createBannerWindow() override;
  void runMessageLoop() override;
  void destroyBanner() override;
  void startCleanupBatch() override;

 private:
  SessionController& controller_;
  BannerSettings bannerSettings_;
  EjectPlatform* ejector_ = nullptr;  // the banner's, from createBanner on
  std::unique_ptr<BannerWindow> banner_;
  std::unique_ptr<BannerBehaviour> behaviour_;  // the banner's window and behaviour
};

class WindowsSessionHost final : public SessionHost {
 public:
  explicit WindowsSessionHost(SessionController& controller) : controller_(controller) {}
  bool isValid() override;
  void signalStarted() override;
  WaitResult waitLauncherMutex(uint32_t limitMs) override;
  void releaseLauncherMutex() override;
  void relaunchFromTemp(ResolvePlatform& resolver) override;

 private:
  SessionController& controller_;
};

// Maps the result of WaitForSingleObject.
WaitResult waitResultOf(DWORD result);

}  // namespace tarnwick
