#include "blocker/blocker_finder_win32.h"

#include <tlhelp32.h>

#include "base/text_win32.h"
#include "blocker/drive_path.h"

namespace tarnwick {
namespace {

// Module list, executable path and handle duplication.
constexpr DWORD kExamineAccess = PROCESS_DUP_HANDLE | PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;

const SystemApi* blockerSearchApi() {
  const SystemApi& api = systemApi();
  return api.hasBlockerSearch() ? &api : nullptr;
}

}  // namespace

bool WindowsSearchPlatform::queryDosDevice(const char16_t* dosName, char16_t* target) {
  return ::QueryDosDeviceW(wide(dosName), wide(target), kDeviceNameUnits) != 0;
}

uintptr_t WindowsSearchPlatform::openProcess(uint32_t processId) {
  return reinterpret_cast<uintptr_t>(::OpenProcess(kExamineAccess, FALSE, processId));
}

bool WindowsSearchPlatform::readExecutablePath(uintptr_t process, char16_t* path) {
  HMODULE first = nullptr;
  DWORD needed = sizeof first;
  const HANDLE h = reinterpret_cast<HANDLE>(process);
  if (!api_->EnumProcessModules(h, &first, sizeof first, &needed)) return false;
  const DWORD length = api_->GetModuleFileNameExW(h, first, wide(path), kBlockerPathUnits);
  // Older systems leave a path that fills the buffer unterminated.
  path[kBlockerPathUnits - 1] = 0;
  return length != 0;
}

bool WindowsSearchPlatform::readImageName(uintptr_t process, char16_t* path) {
  if (api_->QueryFullProcessImageNameW == nullptr) return false;
  DWORD size = kBlockerPathUnits;
  // Flags 0: the path in its drive-letter form.
  if (!api_->QueryFullProcessImageNameW(reinterpret_cast<HANDLE>(process), 0, wide(path), &size)) {
    return false;
  }
  path[size < kBlockerPathUnits ? size : kBlockerPathUnits - 1] = 0;
  return true;
}

uint64_t WindowsSearchPlatform::processStartTime(uintptr_t process) {
  FILETIME created, exited, kernel, user;
  if (!::GetProcessTimes(reinterpret_cast<HANDLE>(process), &created, &exited, &kernel, &user)) {
    return 0;
  }
  return static_cast<uint64_t>(created.dwHighDateTime) << 32 | created.dwLowDateTime;
}

bool WindowsSearchPlatform::visitModules(uintptr_t, uint32_t processId, ModuleVisitor& visitor) {
  // One snapshot of the module list gives every path; asking for each
  // module's path reads the process's list again each time.
  UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId));
  if (!snapshot && ::GetLastError() == ERROR_BAD_LENGTH) {
    // The list changed while it was read: once more.
    snapshot.reset(::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId));
  }
  if (!snapshot) return false;
  MODULEENTRY32W module;
  module.dwSize = sizeof module;
  for (BOOL more = ::Module32FirstW(snapshot.get(), &module); more;
       more = ::Module32NextW(snapshot.get(), &module)) {
    module.szExePath[MAX_PATH - 1] = 0;
    if (visitor.visit(reinterpret_cast<const char16_t*>(module.szExePath))) break;
  }
  return true;
}

uintptr_t WindowsSearchPlatform::duplicateHandle(uintptr_t process, uint64_t handleValue) {
  if (handleValue > UINTPTR_MAX) return 0;
  HANDLE duplicate = nullptr;
  if (!::DuplicateHandle(reinterpret_cast<HANDLE>(process),
                         reinterpret_cast<HANDLE>(static_cast<uintptr_t>(handleValue)),
                         ::GetCurrentProcess(), &duplicate, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
    return 0;
  }
  return reinterpret_cast<uintptr_t>(duplicate);
}

void WindowsSearchPlatform::closeHandle(uintptr_t handle) {
  ::CloseHandle(reinterpret_cast<HANDLE>(handle));
}

uint32_t WindowsSearchPlatform::fileAttributes(const char16_t* path) {
  return ::GetFileAttributesW(wide(path));
}

WindowsBlockerFinder::WindowsBlockerFinder()
    : api(blockerSearchApi()), queries_(api), worker_(thread_, queries_), platform_(api) {
  if (api != nullptr && thread_.readyEvent) useSearch(&worker_, &platform_);
}

WindowsBlockerFinder::~WindowsBlockerFinder() { worker_.stopWorker(); }

}  // namespace tarnwick
