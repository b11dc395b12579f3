// Entry point of Tarnwick.exe.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "app/options.h"
#include "app/session_controller_win32.h"
#include "base/com_apartment_win32.h"
#include "base/module_win32.h"

namespace {

// The options are read before the main function runs, so that every part of
// the program sees the same record from its first instruction on.
struct OptionsLoader {
  OptionsLoader() { tarnwick::loadLaunchOptions(); }
} const optionsLoader;

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  tarnwick::moduleInstance() = instance;
  ::InitCommonControls();
  // The main thread leaves its apartment when `apartment` goes out of scope.
  const tarnwick::ComApartment apartment;
  if (FAILED(apartment.result())) return apartment.result();
  // WMI relies on these process-wide defaults; no proxy blanket is set anywhere.
  const HRESULT hr =
      ::CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_PKT_PRIVACY,
                             RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
  if (FAILED(hr)) return hr;
  return tarnwick::runRole();
}
