// Every entry point the program loads at run time, in one table loaded once:
// the native system layer and the process-status library, neither part of
// the documented import set on every system the program runs on, the alpha
// blend of the image library, and the kernel's calls that older systems lack.
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
using NtQueryInformationProcessFn = LONG(WINAPI*)(HANDLE process, ULONG infoClass, void* buffer,
                                                  ULONG size, ULONG* returned);
using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE process, BOOL* wow64);
using EnumProcessModulesFn = BOOL(WINAPI*)(HANDLE process, HMODULE* modules, DWORD size,
                                           DWORD* needed);
using GetModuleFileNameExWFn = DWORD(WINAPI*)(HANDLE process, HMODULE module, wchar_t* path,
                                              DWORD capacity);
using QueryFullProcessImageNameWFn = BOOL(WINAPI*)(HANDLE process, DWORD flags, wchar_t* path,
                                                   DWORD* size);
using AlphaBlendFn = BOOL(WINAPI*)(HDC destination, int x, int y, int width, int height, HDC source,
                                   int sourceX, int sourceY, int sourceWidth, int sourceHeight,
                                   BLENDFUNCTION blend);

struct SystemApi {
  // Loads "NTDLL.DLL", "PSAPI.DLL" and "MSIMG32.DLL" and looks up the entry
  // points; what is missing stays null. The modules are freed with the table.
  SystemApi();
  SystemApi(const SystemApi&) = delete;
  SystemApi& operator=(const SystemApi&) = delete;

  // Everything the blocker search needs; the pipe query is not part of the test.
  bool hasBlockerSearch() const;

  UniqueModule ntdllModule;
  UniqueModule psapiModule;
  UniqueModule msimg32Module;
  NtQuerySystemInformationFn NtQuerySystemInformation = nullptr;
  NtQueryObjectFn NtQueryObject = nullptr;
  NtQueryInformationFileFn NtQueryInformationFile = nullptr;
  NtQueryInformationProcessFn NtQueryInformationProcess = nullptr;
  EnumProcessModulesFn EnumProcessModules = nullptr;
  GetModuleFileNameExWFn GetModuleFileNameExW = nullptr;
  AlphaBlendFn AlphaBlend = nullptr;
  // KERNEL32, from Windows Vista on: an executable's path without its module list.
  QueryFullProcessImageNameWFn QueryFullProcessImageNameW = nullptr;
  // KERNEL32, from Windows XP SP2 on; absent where no process can be a 32-bit
  // one on a 64-bit system.
  IsWow64ProcessFn IsWow64Process = nullptr;
};

// The process's one table, loaded on its first use. That first use is on the
// main thread (the program's statics are not guarded for threads); other
// threads are handed the table.
const SystemApi& systemApi();

}  // namespace tarnwick
