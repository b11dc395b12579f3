#include "blocker/handle_queries_win32.h"

namespace tarnwick {
namespace {

constexpr uint32_t kStatusNotImplemented = 0xC0000002;
constexpr ULONG kFilePipeInformation = 23;

// The I/O status block: a status (or pointer) and a pointer-sized count.
struct IoStatusBlock {
  void* status;
  ULONG_PTR information;
};

}  // namespace

uint32_t WindowsHandleQueries::querySystemInformation(uint32_t infoClass, void* buffer,
                                                      uint32_t size, uint32_t* returned) {
  ULONG length = 0;
  if (api_ == nullptr || api_->NtQuerySystemInformation == nullptr) return kStatusNotImplemented;
  const LONG status = api_->NtQuerySystemInformation(infoClass, buffer, size, &length);
  *returned = length;
  return static_cast<uint32_t>(status);
}

uint32_t WindowsHandleQueries::queryObject(uintptr_t handle, uint32_t infoClass, void* buffer,
                                           uint32_t size, uint32_t* returned) {
  ULONG length = 0;
  if (api_ == nullptr || api_->NtQueryObject == nullptr) return kStatusNotImplemented;
  const LONG status =
      api_->NtQueryObject(reinterpret_cast<HANDLE>(handle), infoClass, buffer, size, &length);
  *returned = length;
  return static_cast<uint32_t>(status);
}

bool WindowsHandleQueries::isPipe(uintptr_t handle) {
  // Without the query a pipe cannot be told apart; its name query may then
  // hang, which costs one time-out and nothing more.
  if (api_ == nullptr || api_->NtQueryInformationFile == nullptr) return false;
  IoStatusBlock io = {};
  alignas(8) uint8_t pipeInfo[8] = {};
  return api_->NtQueryInformationFile(reinterpret_cast<HANDLE>(handle), &io, pipeInfo,
                                      sizeof pipeInfo, kFilePipeInformation) == 0;
}

uint8_t* WindowsHandleQueries::allocateBlock(uint32_t size) {
  // Straight from the system, never from the process heap: a worker terminated
  // while it allocates must not leave the heap's lock held.
  return static_cast<uint8_t*>(
      ::VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
}

void WindowsHandleQueries::releaseBlock(uint8_t* block, uint32_t) {
  if (block != nullptr) ::VirtualFree(block, 0, MEM_RELEASE);
}

uint32_t WindowsHandleQueries::tickCount() { return ::GetTickCount(); }

}  // namespace tarnwick
