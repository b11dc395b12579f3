#include "blocker/native_api_win32.h"

namespace tarnwick {
namespace {

template <typename Fn>
void lookUp(const UniqueModule& module, const char* name, Fn& entry) {
  // Through void*: an exported procedure has no type of its own.
  entry = module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module.get(), name)))
                 : nullptr;
}

}  // namespace

NativeApi::NativeApi()
    : ntdllModule(::LoadLibraryW(L"NTDLL.DLL")), psapiModule(::LoadLibraryW(L"PSAPI.DLL")) {
  lookUp(ntdllModule, "NtQuerySystemInformation", NtQuerySystemInformation);
  lookUp(ntdllModule, "NtQueryObject", NtQueryObject);
  lookUp(ntdllModule, "NtQueryInformationFile", NtQueryInformationFile);
  lookUp(psapiModule, "EnumProcessModules", EnumProcessModules);
  lookUp(psapiModule, "GetModuleFileNameExW", GetModuleFileNameExW);
}

bool NativeApi::isUsable() const {
  return NtQuerySystemInformation != nullptr && NtQueryObject != nullptr &&
         EnumProcessModules != nullptr && GetModuleFileNameExW != nullptr;
}

}  // namespace tarnwick
