// Test-only program: resolves a drive and makes eject requests with the
// program's own code, the way the worker and the banner do, and prints what
// the device record holds afterwards.
//   eject_probe.exe LETTER WANT_VETO_INFO [REQUESTS]
// Prints UTF-8 lines:
//   resolved 0|1 <TAB> instance id <TAB> friendly name <TAB> device description
//   eject <n> <TAB> accepted 0|1 <TAB> veto type <TAB> veto name <TAB> guard ok|broken
// "guard" tells whether the memory after the record's veto name is as it was
// set before the request. Exit code 0 unless the arguments are wrong.
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>

#include "app/session_controller_win32.h"
#include "device/device_platforms_win32.h"

namespace {

std::string utf8(const char16_t* text) {
  const wchar_t* w = reinterpret_cast<const wchar_t*>(text);
  int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n - 1 : 0, '\0');
  if (n > 1) WideCharToMultiByte(CP_UTF8, 0, w, -1, &out[0], n, nullptr, nullptr);
  return out;
}

// The record with a guard band after it, filled with a pattern.
struct GuardedDevice {
  explicit GuardedDevice(char16_t letter) : device(letter) {
    std::memset(guard, 0xA5, sizeof guard);
  }
  tarnwick::RemovableDevice device;
  unsigned char guard[1024];
  bool intact() const {
    for (unsigned char b : guard) {
      if (b != 0xA5) return false;
    }
    return true;
  }
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  const char16_t letter = static_cast<char16_t>(towupper(argv[1][0]));
  const int wantVetoInfo = _wtoi(argv[2]) != 0 ? 1 : 0;
  const int requests = argc > 3 ? _wtoi(argv[3]) : 1;

  if (FAILED(CoInitialize(nullptr))) return 3;
  CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_PKT_PRIVACY,
                       RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
  {
    tarnwick::SessionController session;
    if (!session.isValid()) return 4;
    static GuardedDevice guarded(letter);
    tarnwick::RemovableDevice& d = guarded.device;
    tarnwick::WindowsResolvePlatform resolver(session.volumeSet.get(), session.wmiServices.get());
    tarnwick::WindowsEjectPlatform ejector;
    const bool resolved = tarnwick::resolveDevice(d, resolver);
    std::printf("resolved %d\t%s\t%s\t%s\n", resolved ? 1 : 0, utf8(d.instanceId).c_str(),
                utf8(d.friendlyName).c_str(), utf8(d.deviceDescription).c_str());
    if (resolved) {
      d.wantVetoInfo = wantVetoInfo;
      for (int n = 1; n <= requests; ++n) {
        const bool accepted = tarnwick::ejectDevice(d, ejector);
        const bool intact = guarded.intact() && d.wantVetoInfo == wantVetoInfo;
        std::printf("eject %d\t%d\t%lu\t%s\t%s\n", n, accepted ? 1 : 0,
                    static_cast<unsigned long>(d.vetoType), utf8(d.vetoName).c_str(),
                    intact ? "ok" : "broken");
      }
    }
    std::fflush(stdout);
  }
  CoUninitialize();
  return 0;
}
