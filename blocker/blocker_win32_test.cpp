#include <windows.h>

#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "base/text.h"
#include "base/text_win32.h"
#include "blocker/blocker_finder_win32.h"
#include "blocker/drive_path.h"
#include "blocker/handle_table.h"

namespace tarnwick {
namespace {

std::wstring tempFile(const wchar_t* name) {
  wchar_t dir[MAX_PATH];
  ::GetTempPathW(MAX_PATH, dir);
  return std::wstring(dir) + name;
}

// A file of this process, created for the test and deleted with it.
struct TempFile {
  explicit TempFile(const wchar_t* name) : path(tempFile(name)) {
    handle.reset(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                               FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  }
  std::wstring path;
  UniqueHandle handle;
};

bool holdsOwnHandle(const HandleSnapshot& slot, HANDLE handle) {
  const HandleTableView view(slot.data, slot.filled, handleTableLayout(slot.format, sizeof(void*)));
  for (size_t i = 0; i < view.size(); ++i) {
    const HandleEntry e = view.entry(i);
    if (e.processId == ::GetCurrentProcessId() &&
        e.handleValue == reinterpret_cast<uintptr_t>(handle)) {
      return true;
    }
  }
  return false;
}

// The system's queries, except that the extended table is refused.
class CompactOnly : public WindowsHandleQueries {
 public:
  using WindowsHandleQueries::WindowsHandleQueries;
  uint32_t querySystemInformation(uint32_t infoClass, void* buffer, uint32_t size,
                                  uint32_t* returned) override {
    if (infoClass == 64) return 0xC0000003;
    return WindowsHandleQueries::querySystemInformation(infoClass, buffer, size, returned);
  }
};

// The system's queries, except that naming one handle never returns.
class HangingOn : public WindowsHandleQueries {
 public:
  HangingOn(const SystemApi* api, HANDLE hangs) : WindowsHandleQueries(api), hangs_(hangs) {}
  uint32_t queryObject(uintptr_t handle, uint32_t infoClass, void* buffer, uint32_t size,
                       uint32_t* returned) override {
    if (handle == reinterpret_cast<uintptr_t>(hangs_)) ::Sleep(INFINITE);
    return WindowsHandleQueries::queryObject(handle, infoClass, buffer, size, returned);
  }

 private:
  HANDLE hangs_;
};

class NativeQueries : public ::testing::Test {
 protected:
  const SystemApi& api = systemApi();
};

TEST_F(NativeQueries, EveryEntryPointIsFound) {
  EXPECT_TRUE(api.hasBlockerSearch());
  EXPECT_NE(api.NtQueryInformationFile, nullptr);
}

TEST_F(NativeQueries, TheSnapshotHoldsThisProcesssHandlesInBothTableForms) {
  TempFile file(L"tarnwick-snapshot.tmp");
  ASSERT_TRUE(file.handle);
  WindowsHandleQueries queries(&api);
  HandleSnapshot slot;
  ASSERT_TRUE(takeHandleSnapshot(queries, slot, ::GetTickCount()));
  EXPECT_EQ(slot.format, HandleTableFormat::Extended);
  EXPECT_LE(slot.filled, slot.size);
  EXPECT_TRUE(holdsOwnHandle(slot, file.handle.get()));
  queries.releaseBlock(slot.data, slot.size);

  CompactOnly compact(&api);
  HandleSnapshot old;
  ASSERT_TRUE(takeHandleSnapshot(compact, old, ::GetTickCount()));
  EXPECT_EQ(old.format, HandleTableFormat::Compact);
  EXPECT_TRUE(holdsOwnHandle(old, file.handle.get()));
  compact.releaseBlock(old.data, old.size);
}

TEST_F(NativeQueries, FilesAreNamedOnTheirDrivePipesAndEventsAreNot) {
  TempFile file(L"tarnwick-name.tmp");
  ASSERT_TRUE(file.handle);
  WindowsHandleQueries queries(&api);
  char16_t name[kNameUnits];
  ASSERT_TRUE(nameFileHandle(queries, reinterpret_cast<uintptr_t>(file.handle.get()), name));
  // Whichever form the system uses, it names the file on its drive.
  const char16_t dosName[3] = {static_cast<char16_t>(file.path[0]), u':', 0};
  char16_t device[kDeviceNameUnits] = {};
  ASSERT_NE(::QueryDosDeviceW(wide(dosName), wide(device), kDeviceNameUnits), 0u);
  DevicePrefix prefix;
  ASSERT_TRUE(makeDevicePrefix(device, prefix));
  char16_t path[kBlockerPathUnits];
  ASSERT_TRUE(drivePathOf(name, prefix, upperAscii(dosName[0]), path, kBlockerPathUnits));
  EXPECT_EQ(::lstrcmpiW(wide(path), file.path.c_str()), 0) << "named " << std::wstring(wide(name));

  HANDLE readEnd = nullptr, writeEnd = nullptr;
  ASSERT_TRUE(::CreatePipe(&readEnd, &writeEnd, nullptr, 0));
  UniqueHandle r(readEnd), w(writeEnd);
  EXPECT_FALSE(nameFileHandle(queries, reinterpret_cast<uintptr_t>(readEnd), name));
  UniqueHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  EXPECT_FALSE(nameFileHandle(queries, reinterpret_cast<uintptr_t>(event.get()), name));
}

TEST_F(NativeQueries, AHungNameIsAbandonedAndItsWorkerEnded) {
  TempFile hung(L"tarnwick-hung.tmp");
  TempFile good(L"tarnwick-good.tmp");
  ASSERT_TRUE(hung.handle && good.handle);
  WindowsWorkerThread thread;
  HangingOn queries(&api, hung.handle.get());
  QueryWorker worker(thread, queries);
  ASSERT_TRUE(worker.startWorker());
  HANDLE first = nullptr;
  ASSERT_TRUE(::DuplicateHandle(::GetCurrentProcess(), thread.workerThread.get(),
                                ::GetCurrentProcess(), &first, SYNCHRONIZE, FALSE, 0));
  UniqueHandle firstThread(first);
  const DWORD firstId = thread.workerThreadId;

  char16_t name[kNameUnits] = {};
  const DWORD before = ::GetTickCount();
  EXPECT_FALSE(worker.requestHandleName(reinterpret_cast<uintptr_t>(hung.handle.get()), name));
  const DWORD waited = ::GetTickCount() - before;
  EXPECT_GE(waited, 90u);
  EXPECT_LT(waited, 10000u);
  // The worker is gone, not merely abandoned.
  EXPECT_EQ(::WaitForSingleObject(firstThread.get(), 0), WAIT_OBJECT_0);
  EXPECT_FALSE(worker.workerRunning());

  ASSERT_TRUE(worker.requestHandleName(reinterpret_cast<uintptr_t>(good.handle.get()), name));
  EXPECT_NE(thread.workerThreadId, firstId);
  EXPECT_NE(std::wstring(wide(name)).find(L"tarnwick-good.tmp"), std::wstring::npos);
  worker.stopWorker();
  EXPECT_FALSE(thread.workerThread);
}

TEST_F(NativeQueries, ASnapshotRequestNeedsARunningWorker) {
  WindowsBlockerFinder finder;
  ASSERT_NE(finder.api, nullptr);
  HandleSnapshot slot;
  EXPECT_FALSE(finder.requestHandleSnapshot(slot));
  ASSERT_TRUE(finder.startWorker());
  ASSERT_TRUE(finder.requestHandleSnapshot(slot));
  EXPECT_GT(slot.filled, 0u);
  finder.stopWorker();
  finder.releaseSnapshot(slot);
}

// The system's queries, except that the first `hangs` type queries never return.
class FirstQueriesHang : public WindowsHandleQueries {
 public:
  FirstQueriesHang(const SystemApi* api, int hangs) : WindowsHandleQueries(api), left_(hangs) {}
  uint32_t queryObject(uintptr_t handle, uint32_t infoClass, void* buffer, uint32_t size,
                       uint32_t* returned) override {
    if (infoClass == kObjectTypeInformation && left_.fetch_sub(1) > 0) ::Sleep(INFINITE);
    return WindowsHandleQueries::queryObject(handle, infoClass, buffer, size, returned);
  }

 private:
  std::atomic<int> left_;
};

// The real calls, limited to this process: the others in the prefix run from
// the same drive as the temporary folder and would answer first.
class ThisProcessOnly : public WindowsSearchPlatform {
 public:
  using WindowsSearchPlatform::WindowsSearchPlatform;
  uintptr_t openProcess(uint32_t pid) override {
    return pid == ::GetCurrentProcessId() ? WindowsSearchPlatform::openProcess(pid) : 0;
  }
  bool readExecutablePath(uintptr_t, char16_t*) override { return false; }
};

struct CountingThread : WindowsWorkerThread {
  bool createThread(const WorkerContext& context) override {
    ++created;
    return WindowsWorkerThread::createThread(context);
  }
  int created = 0;
};

TEST_F(NativeQueries, NamesThatNeverComeDoNotStopTheSearch) {
  TempFile held(L"tarnwick-held.tmp");
  ASSERT_TRUE(held.handle);
  CountingThread thread;
  FirstQueriesHang queries(&api, 2);
  QueryWorker worker(thread, queries);
  ThisProcessOnly platform(&api);
  BlockerFindings found;
  ASSERT_TRUE(findBlocker(static_cast<char16_t>(held.path[0]), found, worker, platform));
  EXPECT_TRUE(found.holdsOpenItem);
  EXPECT_EQ(found.holderPid, ::GetCurrentProcessId());
  EXPECT_EQ(::lstrcmpiW(wide(found.openPath), held.path.c_str()), 0)
      << std::wstring(wide(found.openPath));
  EXPECT_EQ(thread.created, 3);  // the first, and one after each abandoned name
  EXPECT_FALSE(thread.workerThread) << "the worker outlived the search";
}

TEST_F(NativeQueries, BothWalksFindTheSameFileOfThisProcess) {
  TempFile held(L"tarnwick-both.tmp");
  ASSERT_TRUE(held.handle);
  WindowsWorkerThread thread;
  WindowsHandleQueries queries(&api);
  QueryWorker worker(thread, queries);
  ThisProcessOnly platform(&api);
  BlockerFindings plain, batched;
  SearchOptions options;
  options.mode = WalkMode::OneByOne;
  ASSERT_TRUE(findBlocker(static_cast<char16_t>(held.path[0]), plain, worker, platform, options));
  options.mode = WalkMode::Batched;
  ASSERT_TRUE(findBlocker(static_cast<char16_t>(held.path[0]), batched, worker, platform, options));
  EXPECT_EQ(std::u16string(plain.openPath), std::u16string(batched.openPath));
  EXPECT_EQ(::lstrcmpiW(wide(batched.openPath), held.path.c_str()), 0)
      << std::wstring(wide(batched.openPath));
  EXPECT_EQ(std::u16string(plain.holderImage), std::u16string(batched.holderImage));
  EXPECT_EQ(plain.holderStartTime, batched.holderStartTime);
}

TEST_F(NativeQueries, ABatchGoesOnPastAHungNameWithAFreshWorkerWaitingOrPolling) {
  TempFile hung(L"tarnwick-batch-hung.tmp");
  TempFile good(L"tarnwick-batch-good.tmp");
  ASSERT_TRUE(hung.handle && good.handle);
  for (bool waits : {true, false}) {
    CountingThread thread;
    thread.waitsForMessages = waits;
    HangingOn queries(&api, hung.handle.get());
    QueryWorker worker(thread, queries);
    NameBatch batch;
    batch.count = 3;
    batch.handles[0] = reinterpret_cast<uintptr_t>(good.handle.get());
    batch.handles[1] = reinterpret_cast<uintptr_t>(hung.handle.get());
    batch.handles[2] = reinterpret_cast<uintptr_t>(good.handle.get());
    const DWORD before = ::GetTickCount();
    worker.askHandleNames(batch);
    const DWORD waited = ::GetTickCount() - before;
    EXPECT_EQ(batch.answers[0], NameAnswer::Named);
    EXPECT_EQ(batch.answers[1], NameAnswer::Hung);
    EXPECT_EQ(batch.answers[2], NameAnswer::Named);
    EXPECT_NE(std::wstring(wide(batch.names[2])).find(L"tarnwick-batch-good.tmp"),
              std::wstring::npos);
    EXPECT_GE(waited, 90u);
    EXPECT_LT(waited, 10000u);
    EXPECT_EQ(thread.created, 2);
    worker.stopWorker();
  }
}

TEST_F(NativeQueries, TheSearchPlatformReadsImageStartTimeAndModulesOfAProcess) {
  WindowsSearchPlatform platform(&api);
  const uintptr_t self = platform.openProcess(::GetCurrentProcessId());
  ASSERT_NE(self, 0u);
  char16_t image[kBlockerPathUnits] = {};
  wchar_t own[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, own, MAX_PATH);
  ASSERT_TRUE(platform.readImageName(self, image));
  EXPECT_EQ(::lstrcmpiW(wide(image), own), 0) << std::wstring(wide(image));

  FILETIME created, exited, kernel, user;
  ASSERT_TRUE(::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user));
  EXPECT_EQ(platform.processStartTime(self),
            static_cast<uint64_t>(created.dwHighDateTime) << 32 | created.dwLowDateTime);

  struct Collect final : ModuleVisitor {
    bool visit(const char16_t* path) override {
      paths.push_back(std::wstring(wide(path)));
      return false;
    }
    std::vector<std::wstring> paths;
  } modules;
  ASSERT_TRUE(platform.visitModules(self, modules));
  ASSERT_FALSE(modules.paths.empty());
  EXPECT_EQ(::lstrcmpiW(modules.paths[0].c_str(), own), 0) << modules.paths[0];
  bool ntdll = false;
  for (std::wstring p : modules.paths) {
    ::CharLowerW(&p[0]);
    ntdll = ntdll || p.find(L"\\ntdll.dll") != std::wstring::npos;
  }
  EXPECT_TRUE(ntdll);
  // The same paths, in the same order, as the system's own module snapshot.
  std::vector<std::wstring> snapshot;
  const HANDLE list = ::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, ::GetCurrentProcessId());
  ASSERT_NE(list, INVALID_HANDLE_VALUE);
  MODULEENTRY32W module;
  module.dwSize = sizeof module;
  for (BOOL more = ::Module32FirstW(list, &module); more; more = ::Module32NextW(list, &module)) {
    snapshot.push_back(module.szExePath);
  }
  ::CloseHandle(list);
  EXPECT_EQ(modules.paths, snapshot);
  platform.closeHandle(self);
}

TEST(BlockerFinder, ADriveWithoutADeviceFindsNothingAndLeavesNoWorker) {
  WindowsBlockerFinder finder;
  // No drive is mapped to the letter; the search ends before any worker starts.
  EXPECT_FALSE(finder.findBlocker(u'Q'));
  EXPECT_FALSE(finder.findings.runsFromDrive);
  EXPECT_FALSE(finder.findings.holdsOpenItem);
}

}  // namespace
}  // namespace tarnwick
