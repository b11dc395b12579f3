#include "blocker/blocker_finder_win32.h"

#include "base/text_win32.h"
#include "blocker/drive_path.h"
#include "blocker/loader_list.h"

namespace tarnwick {
namespace {

// Module list, executable path and handle duplication.
constexpr DWORD kExamineAccess = PROCESS_DUP_HANDLE | PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;

constexpr ULONG kProcessBasicInformation = 0;
constexpr ULONG kProcessWow64Information = 26;

struct ProcessBasicInformation {
  LONG exitStatus;
  void* environmentBlock;
  ULONG_PTR affinityMask;
  LONG basePriority;
  ULONG_PTR processId;
  ULONG_PTR parentProcessId;
};

// Another process's memory, read through its handle.
class RemoteMemory final : public ProcessMemory {
 public:
  explicit RemoteMemory(HANDLE process) : process_(process) {}
  bool read(uint64_t address, void* buffer, uint32_t bytes) override {
    if (address > UINTPTR_MAX) return false;
    SIZE_T got = 0;
    return ::ReadProcessMemory(process_, reinterpret_cast<const void*>(address), buffer, bytes,
                               &got) &&
           got == bytes;
  }

 private:
  const HANDLE process_;
};

// Passes paths on and remembers whether the visitor asked to stop.
class StopRecorder final : public ModuleVisitor {
 public:
  explicit StopRecorder(ModuleVisitor& visitor) : visitor_(visitor) {}
  bool visit(const char16_t* path) override {
    stopped = visitor_.visit(path);
    return stopped;
  }
  bool stopped = false;

 private:
  ModuleVisitor& visitor_;
};

bool runsUnderWow64(const SystemApi& api, HANDLE process) {
  BOOL wow64 = FALSE;
  return api.IsWow64Process != nullptr && api.IsWow64Process(process, &wow64) && wow64;
}

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

bool WindowsSearchPlatform::visitModules(uintptr_t process, ModuleVisitor& visitor) {
  // The loader's own list, read straight from the process: the system's
  // module snapshot reads the same records with more reads per module.
  if (api_->NtQueryInformationProcess == nullptr) return false;
  const HANDLE h = reinterpret_cast<HANDLE>(process);
  // A 32-bit program cannot read the list of a 64-bit process, just as the
  // system's module calls cannot.
  constexpr bool kBuiltFor32Bits = sizeof(void*) == 4;
  if (kBuiltFor32Bits && runsUnderWow64(*api_, ::GetCurrentProcess()) &&
      !runsUnderWow64(*api_, h)) {
    return false;
  }
  ProcessBasicInformation basic = {};
  if (api_->NtQueryInformationProcess(h, kProcessBasicInformation, &basic, sizeof basic, nullptr) !=
      0) {
    return false;
  }
  RemoteMemory memory(h);
  StopRecorder watch(visitor);
  const LoaderLayout native = kBuiltFor32Bits ? LoaderLayout::Bits32 : LoaderLayout::Bits64;
  bool read =
      visitLoaderList(memory, reinterpret_cast<uintptr_t>(basic.environmentBlock), native, watch);
  if (watch.stopped || kBuiltFor32Bits) return read;
  // A 32-bit process on a 64-bit system keeps its libraries in a second,
  // 32-bit list.
  ULONG_PTR block32 = 0;
  if (api_->NtQueryInformationProcess(h, kProcessWow64Information, &block32, sizeof block32,
                                      nullptr) == 0 &&
      block32 != 0) {
    read = visitLoaderList(memory, block32, LoaderLayout::Bits32, watch) && read;
  }
  return read;
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
