#include "app/session_hosts_win32.h"

#include <shellapi.h>

#include <new>

#include "app/temp_copy_win32.h"
#include "base/module_win32.h"
#include "device/device_win32.h"

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

bool WindowsProcess::open(int32_t pid) {
  process_.reset(::OpenProcess(PROCESS_ALL_ACCESS, FALSE, static_cast<DWORD>(pid)));
  return static_cast<bool>(process_);
}

WaitResult WindowsProcess::waitForEnd(uint32_t limitMs) {
  return waitResultOf(::WaitForSingleObject(process_.get(), limitMs));
}

bool WindowsProcess::runsOwnExecutable() { return tarnwick::runsOwnExecutable(process_.get()); }

void WindowsProcess::terminate(uint32_t exitCode) { ::TerminateProcess(process_.get(), exitCode); }

void WindowsProcess::close() { process_.reset(); }

// --- worker ---

bool WindowsWorker::createDevice(char16_t driveLetter) {
  device_.reset(new (std::nothrow) RemovableDevice(driveLetter));
  return device_ != nullptr;
}

void WindowsWorker::openDriveFolder(char16_t driveLetter) {
  const wchar_t root[] = {static_cast<wchar_t>(driveLetter), L':', L'\\', 0};
  ::ShellExecuteW(nullptr, L"open", root, nullptr, nullptr, SW_SHOW);
}

// The banner record is built in every run that resolves its drive, silent or
// not. Its window arrives with the banner's behaviour: until then no window
// class is registered, no window can be created, and the worker makes its
// single ejection without one, as it does when creating the window fails.
void WindowsWorker::registerBannerClass() {}

void WindowsWorker::createBanner(bool askFirst, bool systemNotices) {
  banner_.reset(new (std::nothrow) BannerWindow(*device_, askFirst, systemNotices));
}

bool WindowsWorker::createBannerWindow() { return false; }
void WindowsWorker::runMessageLoop() {}
void WindowsWorker::destroyBanner() { banner_.reset(); }

bool WindowsWorker::resolveDevice() {
  return resolve(*device_, controller_.volumeSet.get(), controller_.wmiServices.get());
}

void WindowsWorker::setWantVetoInfo(bool want) { device_->wantVetoInfo = want ? 1 : 0; }

bool WindowsWorker::ejectOnce() { return eject(*device_); }

void WindowsWorker::destroyDevice() { device_.reset(); }

void WindowsWorker::startCleanupBatch() { tarnwick::startCleanupBatch(controller_); }

// --- session ---

bool WindowsSession::isValid() { return controller_.isValid(); }

void WindowsSession::signalStarted() {
  ::SetEvent(controller_.startedEvent.get());
  controller_.startedEvent.reset();
}

WaitResult WindowsSession::waitLauncherMutex(uint32_t limitMs) {
  return waitResultOf(::WaitForSingleObject(controller_.launcherMutex.get(), limitMs));
}

void WindowsSession::releaseLauncherMutex() { ::ReleaseMutex(controller_.launcherMutex.get()); }

void WindowsSession::runWaiter(int32_t pid) {
  WindowsProcess process;
  tarnwick::runWaiter(pid, process);
}

void WindowsSession::runWorker() {
  WindowsWorker worker(controller_);
  tarnwick::runWorker(options_, worker);
}

void WindowsSession::relaunchFromTemp() { tarnwick::relaunchFromTemp(controller_, options_); }

}  // namespace tarnwick
