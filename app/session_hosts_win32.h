// The Windows side of the roles: the session's shared objects, the waited-for
// process and the worker's device and banner, behind the interfaces that the
// role sequences use.
#pragma once

#include <memory>

#include "app/roles.h"
#include "app/session_controller_win32.h"
#include "device/removable_device.h"
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
  bool createDevice(char16_t driveLetter) override;
  void openDriveFolder(char16_t driveLetter) override;
  void registerBannerClass() override;
  bool resolveDevice() override;
  bool bannerServesDrive(char16_t driveLetter) override;
  void createBanner(const BannerSettings& settings) override;
  bool createBannerWindow() override;
  void setWantVetoInfo(bool want) override;
  void runMessageLoop() override;
  bool ejectOnce() override;
  void destroyBanner() override;
  void destroyDevice() override;
  void startCleanupBatch() override;

 private:
  SessionController& controller_;
  std::unique_ptr<RemovableDevice> device_;
  BannerSettings bannerSettings_;
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
  void relaunchFromTemp() override;

 private:
  SessionController& controller_;
};

// Maps the result of WaitForSingleObject.
WaitResult waitResultOf(DWORD result);

}  // namespace tarnwick
