#include "app/session_controller_win32.h"

#include <ole2.h>

#include <new>

#include "app/options.h"
#include "app/roles.h"
#include "app/session_hosts_win32.h"
#include "base/text_win32.h"
#include "device/device_platforms_win32.h"
#include "device/device_win32.h"

namespace tarnwick {
namespace {

// Connects to WMI on the local machine. The calls rely on the process-wide
// COM security set up by the main function; no proxy blanket is set.
void connectWmi(SessionController& c) {
  ComPtr<IUnknown> unknown;
  if (FAILED(::CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_ALL, IID_IUnknown,
                                unknown.putVoid()))) {
    return;
  }
  ::OleRun(unknown.get());
  if (FAILED(unknown->QueryInterface(IID_IWbemLocator, c.wmiLocator.putVoid()))) return;
  BSTR ns = ::SysAllocString(L"\\\\.\\root\\cimv2");
  if (ns == nullptr) return;
  c.wmiLocator->ConnectServer(ns, nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                              c.wmiServices.put());
  ::SysFreeString(ns);
}

}  // namespace

SessionController::SessionController() {
  launcherMutex.reset(::CreateMutexW(nullptr, FALSE, kLauncherMutexName));
  startedEvent.reset(::CreateEventW(nullptr, FALSE, FALSE, kStartedEventName));
  volumeSet.reset(::SetupDiGetClassDevsW(&kVolumeInterfaceClass, nullptr, nullptr,
                                         DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
  DWORD n = ::GetTempPathW(260, wide(tempDir));
  if (n == 0 || n >= 260) tempDir[0] = 0;  // too long for the buffer: no usable folder
  connectWmi(*this);
}

SessionController::~SessionController() {
  volumeSet.reset();
  launcherMutex.reset();
  startedEvent.reset();
  wmiServices.reset();
  wmiLocator.reset();
}

bool SessionController::isValid() const {
  return volumeSet && wmiServices && launcherMutex && startedEvent;
}

HRESULT runRole() {
  SessionController* controller = new (std::nothrow) SessionController();
  if (controller == nullptr) return E_OUTOFMEMORY;
  {
    // The device is reached through the session's volume set and WMI
    // connection, by the worker and its banner as by the launcher.
    WindowsResolvePlatform resolver(controller->volumeSet.get(), controller->wmiServices.get());
    WindowsEjectPlatform ejector;
    WindowsSessionHost session(*controller);
    WindowsWaitedProcess process;
    WindowsWorkerHost worker(*controller);
    runChosenRole(launchOptions(), session, process, worker, resolver, ejector);
  }
  delete controller;
  return S_OK;
}

}  // namespace tarnwick
