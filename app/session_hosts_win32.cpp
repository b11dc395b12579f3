#include "app/session_hosts_win32.h"

#include <shellapi.h>

#include <new>

#include "app/temp_copy_win32.h"
#include "base/module_win32.h"
#include "base/text_win32.h"
#include "ui/banner_query_win32.h"
#include "ui/banner_window_proc_win32.h"

namespace tarnwick {

WaitResult waitResultOf(DWORD result) {
  switch (result) {
    case WAIT_OBJECT_0: return WaitResult::Signalled;
    case WAIT_ABANDONED: return WaitResult::Abandoned;
    case WAIT_TIMEOUT: return WaitResult::TimedOut;
    default: return WaitResult::Failed;
  }
}

// --- waiter ---

bool WindowsWaitedProcess::open(int32_t pid) {
  process_.reset(::OpenProcess(PROCESS_ALL_ACCESS, FALSE, static_cast<DWORD>(pid)));
  return static_cast<bool>(process_);
}

WaitResult WindowsWaitedProcess::waitForEnd(uint32_t limitMs) {
  return waitResultOf(::WaitForSingleObject(process_.get(), limitMs));
}

bool WindowsWaitedProcess::runsOwnExecutable() {
  return tarnwick::runsOwnExecutable(process_.get());
}

void WindowsWaitedProcess::terminate(uint32_t exitCode) {
  ::TerminateProcess(process_.get(), exitCode);
}

void WindowsWaitedProcess::close() { process_.reset(); }

// --- worker ---

void WindowsWorkerHost::openDriveFolder(char16_t driveLetter) {
  const wchar_t root[] = {static_cast<wchar_t>(driveLetter), L':', L'\\', 0};
  ::ShellExecuteW(nullptr, L"open", root, nullptr, nullptr, SW_SHOW);
}

void WindowsWorkerHost::registerBannerClass() { tarnwick::registerBannerClass(); }

// The banner record is built in every run that resolves its drive, silent or not.
void WindowsWorkerHost::createBanner(RemovableDevice& device, const BannerSettings& settings,
                                     EjectPlatform& ejector) {
  bannerSettings_ = settings;
  ejector_ = &ejector;
  banner_.reset(new (std::nothrow) BannerWindow(device, settings));
}

bool WindowsWorkerHost::createBannerWindow() {
  if (!banner_) return false;
  behaviour_.reset(new (std::nothrow) BannerBehaviour(*banner_, bannerSettings_, *ejector_));
  return behaviour_ && behaviour_->createWindow();
}

void WindowsWorkerHost::runMessageLoop() { tarnwick::runMessageLoop(); }

void WindowsWorkerHost::destroyBanner() {
  behaviour_.reset();  // destroys the window while its machine exists
  banner_.reset();
}

bool WindowsWorkerHost::bannerServesDrive(char16_t driveLetter) {
  // Another banner answers once its thread is free again; one that stays busy
  // longer (a request that hangs) does not keep this worker from its drive.
  constexpr uint32_t kOtherBannersLimitMs = 6000;
  return tarnwick::bannerServesDrive(driveLetter, kOtherBannersLimitMs);
}

void WindowsWorkerHost::startCleanupBatch() { tarnwick::startCleanupBatch(controller_); }

// --- session ---

bool WindowsSessionHost::isValid() { return controller_.isValid(); }

void WindowsSessionHost::signalStarted() {
  ::SetEvent(controller_.startedEvent.get());
  controller_.startedEvent.reset();
}

WaitResult WindowsSessionHost::waitLauncherMutex(uint32_t limitMs) {
  return waitResultOf(::WaitForSingleObject(controller_.launcherMutex.get(), limitMs));
}

void WindowsSessionHost::releaseLauncherMutex() { ::ReleaseMutex(controller_.launcherMutex.get()); }

void WindowsSessionHost::relaunchFromTemp(ResolvePlatform& resolver) {
  tarnwick::relaunchFromTemp(controller_, launchOptions(), resolver);
}

}  // namespace tarnwick
