#include "base/system_api_win32.h"

namespace tarnwick {
namespace {

template <typename Fn>
void lookUp(HMODULE module, const char* name, Fn& entry) {
  // Through void*: an exported procedure has no type of its own.
  entry = module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)))
                 : nullptr;
}

template <typename Fn>
void lookUp(const UniqueModule& module, const char* name, Fn& entry) {
  lookUp(module.get(), name, entry);
}

}  // namespace

SystemApi::SystemApi()
    : ntdllModule(::LoadLibraryW(L"NTDLL.DLL")),
      psapiModule(::LoadLibraryW(L"PSAPI.DLL")),
      msimg32Module(::LoadLibraryW(L"MSIMG32.DLL")) {
  lookUp(ntdllModule, "NtQuerySystemInformation", NtQuerySystemInformation);
  lookUp(ntdllModule, "NtQueryObject", NtQueryObject);
  lookUp(ntdllModule, "NtQueryInformationFile", NtQueryInformationFile);
  lookUp(ntdllModule, "NtQueryInformationProcess", NtQueryInformationProcess);
  lookUp(psapiModule, "EnumProcessModules", EnumProcessModules);
  lookUp(psapiModule, "GetModuleFileNameExW", GetModuleFileNameExW);
  lookUp(msimg32Module, "AlphaBlend", AlphaBlend);
  // Loaded in every process for as long as it runs: not freed.
  const HMODULE kernel32 = ::GetModuleHandleW(L"KERNEL32.DLL");
  lookUp(kernel32, "QueryFullProcessImageNameW", QueryFullProcessImageNameW);
  lookUp(kernel32, "IsWow64Process", IsWow64Process);
}

bool SystemApi::hasBlockerSearch() const {
  return NtQuerySystemInformation != nullptr && NtQueryObject != nullptr &&
         EnumProcessModules != nullptr && GetModuleFileNameExW != nullptr;
}

const SystemApi& systemApi() {
  static const SystemApi api;
  return api;
}

}  // namespace tarnwick
