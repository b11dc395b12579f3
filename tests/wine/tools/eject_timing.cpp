// Test-only program for timed runs (not a test): measures, inside Wine,
//   eject_timing.exe run PROGRAM [ARGS...]  the time from starting PROGRAM to
//                                           its end, and its exit code
//   eject_timing.exe wmi                    the time this fresh process spends
//                                           connecting to WMI the way Tarnwick
//                                           does, and running one disk query
// Prints "name milliseconds" lines.
#include <windows.h>
#include <ole2.h>
#include <wbemidl.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

double now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return 1000.0 * static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

int runProgram(int argc, wchar_t** argv) {
  std::wstring line = L"\"" + std::wstring(argv[2]) + L"\"";
  for (int i = 3; i < argc; ++i) line += L" " + std::wstring(argv[i]);
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  const double start = now();
  if (!CreateProcessW(argv[2], &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    return 99;
  }
  WaitForSingleObject(pi.hProcess, 120000);
  const double end = now();
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  std::printf("run %.1f\nexit %lu\n", end - start, static_cast<unsigned long>(code));
  return 0;
}

int timeWmi() {
  const double start = now();
  CoInitialize(nullptr);
  CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_PKT_PRIVACY,
                       RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
  const double com = now();
  IUnknown* unknown = nullptr;
  IWbemLocator* locator = nullptr;
  IWbemServices* services = nullptr;
  if (FAILED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_ALL, IID_IUnknown,
                              reinterpret_cast<void**>(&unknown)))) {
    return 1;
  }
  OleRun(unknown);
  unknown->QueryInterface(IID_IWbemLocator, reinterpret_cast<void**>(&locator));
  BSTR ns = SysAllocString(L"\\\\.\\root\\cimv2");
  locator->ConnectServer(ns, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &services);
  const double connected = now();
  if (services == nullptr) return 1;
  BSTR language = SysAllocString(L"WQL");
  BSTR query = SysAllocString(
      L"Select PNPDeviceID From Win32_DiskDrive Where DeviceID=\"\\\\\\\\.\\\\PhysicalDrive0\"");
  IEnumWbemClassObject* rows = nullptr;
  IWbemClassObject* row = nullptr;
  ULONG count = 0;
  if (SUCCEEDED(services->ExecQuery(language, query, 0, nullptr, &rows))) {
    rows->Next(10000, 1, &row, &count);
  }
  const double queried = now();
  std::printf("com_setup %.1f\nwmi_connect %.1f\nwmi_disk_query %.1f\n", com - start,
              connected - com, queried - connected);
  if (row) row->Release();
  if (rows) rows->Release();
  services->Release();
  locator->Release();
  unknown->Release();
  CoUninitialize();
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc >= 3 && !wcscmp(argv[1], L"run")) return runProgram(argc, argv);
  if (argc >= 2 && !wcscmp(argv[1], L"wmi")) return timeWmi();
  return 2;
}
