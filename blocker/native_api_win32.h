// Entry points of the native system layer and of the process-status library,
// loaded at run time: neither is part of the documented import set on every
// system the program runs on.
#pragma once

#include <windows.h>

#include "base/owners_win32.h"

namespace tarnwick {

// Status and byte counts of the native calls are 32-bit on every architecture.
using NtQuerySystemInformationFn = LONG(WINAPI*)(ULONG infoClass, void* buffer, ULONG size,
                                                 ULONG* returned);
using NtQueryObjectFn = LONG(WINAPI*)(HANDLE handle, ULONG infoClass, void* buffer, ULONG size,
                                      ULONG* returned);
using NtQueryInformationFileFn = LONG(WINAPI*)(HANDLE file, void* ioStatus, void* buffer,
                                               ULONG size, ULONG infoClass);
using EnumProcessModulesFn = BOOL(WINAPI*)(HANDLE process, HMODULE* modules, DWORD size,
                                           DWORD* needed);
using GetModuleFileNameExWFn = DWORD(WINAPI*)(HANDLE process, HMODULE module, wchar_t* path,
                                              DWORD capacity);

struct NativeApi {
  // Loads "NTDLL.DLL" and "PSAPI.DLL" and looks up the entry points; what is
  // missing stays null. The modules are freed with the record.
  NativeApi();
  NativeApi(const NativeApi&) = delete;
  NativeApi& operator=(const NativeApi&) = delete;

  // Everything the search needs; the pipe query is not part of the test.
  bool isUsable() const;

  UniqueModule ntdllModule;
  UniqueModule psapiModule;
  NtQuerySystemInformationFn NtQuerySystemInformation = nullptr;
  NtQueryObjectFn NtQueryObject = nullptr;
  NtQueryInformationFileFn NtQueryInformationFile = nullptr;
  EnumProcessModulesFn EnumProcessModules = nullptr;
  GetModuleFileNameExWFn GetModuleFileNameExW = nullptr;
};

}  // namespace tarnwick
