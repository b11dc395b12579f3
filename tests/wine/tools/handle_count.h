// Test-only: the number of handles a process holds, read from the system
// handle table (Wine's GetProcessHandleCount answers 0). Header only, for the
// test-only programs and the simulated layer.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

namespace testonly {

struct ExtendedHandleEntry {
  void* object;
  ULONG_PTR processId;
  ULONG_PTR handle;
  ULONG access;
  USHORT creatorBackTraceIndex;
  USHORT typeIndex;
  ULONG attributes;
  ULONG reserved;
};

// Handles of process `pid` in the table; -1 when the table cannot be read.
inline long handleCount(DWORD pid) {
  using Query = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  auto query = reinterpret_cast<Query>(
      reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQuerySystemInformation")));
  if (query == nullptr) return -1;
  constexpr ULONG kExtendedHandleInformation = 64;
  constexpr LONG kLengthMismatch = static_cast<LONG>(0xC0000004);
  std::vector<unsigned char> buffer(1 << 20);
  for (int attempt = 0; attempt < 8; ++attempt) {
    ULONG needed = 0;
    LONG status = query(kExtendedHandleInformation, buffer.data(),
                        static_cast<ULONG>(buffer.size()), &needed);
    if (status == kLengthMismatch) {
      buffer.resize(buffer.size() * 2 > needed ? buffer.size() * 2 : needed + 4096);
      continue;
    }
    if (status < 0) return -1;
    const ULONG_PTR entries = *reinterpret_cast<ULONG_PTR*>(buffer.data());
    auto* entry = reinterpret_cast<ExtendedHandleEntry*>(buffer.data() + 2 * sizeof(ULONG_PTR));
    long count = 0;
    for (ULONG_PTR i = 0; i < entries; ++i) {
      if (entry[i].processId == pid) ++count;
    }
    return count;
  }
  return -1;
}

}  // namespace testonly
