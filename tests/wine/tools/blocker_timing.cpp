// Test-only program: times the blocker search under the real system, for the
// benchmark script (not a test).
//   blocker_timing.exe LETTER [SEARCHES] [--pieces] [--modes MODE,...] [--limit MS]
// MODEs: plain (one request per handle, polling worker, no look at modules:
// the search as first built), plainwait (the same with a worker that waits
// for its messages), batched (handles passed over by type number, several
// per request, waiting worker, modules looked at: the program's search),
// batchedpoll (the same with a polling worker), batchedbare (batched without
// the look at modules), batchedserial (batched without duplicating the next
// batch while the worker names one). Default: plain,batched. The modes take turns,
// SEARCHES rounds (default 5); the limit is off unless --limit is given.
// Prints "key value" lines: per mode the time of whole searches for LETTER
// (min, median, max, in ms) and what the last search found; whether all
// modes found the same in every round; with --pieces also the mean name
// request round trip through the worker thread, the same query made
// directly, and the snapshot's size and time.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "blocker/blocker_finder_win32.h"
#include "blocker/handle_queries_win32.h"
#include "blocker/handle_table.h"

namespace {

double nowMs() {
  LARGE_INTEGER frequency, counter;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&counter);
  return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

struct Mode {
  const char* name;
  tarnwick::WalkMode walk;
  bool waits;
  bool modules;
  bool overlap;
  std::vector<double> times;
  std::string last;
};

std::string describe(const tarnwick::BlockerFindings& f, bool found) {
  char text[1200];
  char image[700] = {}, path[700] = {};
  WideCharToMultiByte(CP_UTF8, 0, reinterpret_cast<const wchar_t*>(f.holderImage), -1, image,
                      sizeof image, nullptr, nullptr);
  WideCharToMultiByte(CP_UTF8, 0, reinterpret_cast<const wchar_t*>(f.openPath), -1, path,
                      sizeof path, nullptr, nullptr);
  std::snprintf(text, sizeof text, "found=%d pid=%lu runs=%d holds=%d image=%s path=%s",
                found ? 1 : 0, static_cast<unsigned long>(found ? f.holderPid : 0),
                f.runsFromDrive ? 1 : 0, f.holdsOpenItem ? 1 : 0, found ? image : "", path);
  return text;
}

void pieces(tarnwick::WindowsBlockerFinder& finder) {
  wchar_t path[MAX_PATH];
  GetTempPathW(MAX_PATH, path);
  wcscat(path, L"tarnwick-timing.tmp");
  HANDLE file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE || !finder.startWorker()) return;
  char16_t name[tarnwick::kNameUnits];
  constexpr int kRequests = 3000;
  double start = nowMs();
  int named = 0;
  for (int i = 0; i < kRequests; ++i) named += finder.requestHandleName(file, name) ? 1 : 0;
  std::printf("name_round_trip_us %.1f\n", 1000.0 * (nowMs() - start) / kRequests);
  std::printf("names_answered %d/%d\n", named, kRequests);

  tarnwick::WindowsHandleQueries direct(finder.api);
  start = nowMs();
  for (int i = 0; i < kRequests; ++i)
    tarnwick::nameFileHandle(direct, reinterpret_cast<uintptr_t>(file), name);
  std::printf("name_direct_us %.1f\n", 1000.0 * (nowMs() - start) / kRequests);

  // Each step of naming one file handle of another process, alone.
  tarnwick::WindowsSearchPlatform platform(finder.api);
  const uintptr_t self = platform.openProcess(GetCurrentProcessId());
  const uint64_t value = reinterpret_cast<uintptr_t>(file);
  start = nowMs();
  for (int i = 0; i < kRequests; ++i) platform.closeHandle(platform.duplicateHandle(self, value));
  std::printf("step_duplicate_close_us %.1f\n", 1000.0 * (nowMs() - start) / kRequests);
  start = nowMs();
  for (int i = 0; i < kRequests; ++i) {
    const uintptr_t copy = platform.duplicateHandle(self, value);
    direct.isPipe(copy);
    platform.closeHandle(copy);
  }
  std::printf("step_duplicate_pipe_close_us %.1f\n", 1000.0 * (nowMs() - start) / kRequests);
  start = nowMs();
  for (int i = 0; i < kRequests; ++i) {
    const uintptr_t copy = platform.duplicateHandle(self, value);
    tarnwick::identifyHandle(direct, copy, name, true);
    platform.closeHandle(copy);
  }
  std::printf("step_duplicate_pipe_name_close_us %.1f\n", 1000.0 * (nowMs() - start) / kRequests);
  start = nowMs();
  for (int i = 0; i < kRequests; ++i) direct.isPipe(reinterpret_cast<uintptr_t>(file));
  std::printf("step_pipe_cached_us %.1f\n", 1000.0 * (nowMs() - start) / kRequests);
  alignas(8) uint8_t info[tarnwick::kNameQueryBytes];
  uint32_t returned = 0;
  start = nowMs();
  for (int i = 0; i < kRequests; ++i)
    direct.queryObject(reinterpret_cast<uintptr_t>(file), 1, info, sizeof info, &returned);
  std::printf("step_name_us %.1f\n", 1000.0 * (nowMs() - start) / kRequests);

  // What the walk does once per process, over every process of the table.
  {
    tarnwick::HandleSnapshot slot;
    if (finder.requestHandleSnapshot(slot)) {
      const tarnwick::HandleTableView table(
          slot.data, slot.filled, tarnwick::handleTableLayout(slot.format, sizeof(void*)));
      std::vector<uint32_t> ids;
      for (size_t i = 0; i < table.size(); ++i) {
        const uint64_t id = table.entry(i).processId;
        if (ids.empty() || ids.back() != id) ids.push_back(static_cast<uint32_t>(id));
      }
      double open = 0, times = 0, image = 0, modules = 0;
      char16_t path[tarnwick::kBlockerPathUnits];
      struct Count final : tarnwick::ModuleVisitor {
        bool visit(const char16_t*) override { return false; }
      } count;
      for (uint32_t id : ids) {
        double t = nowMs();
        const uintptr_t process = platform.openProcess(id);
        open += nowMs() - t;
        if (process == 0) continue;
        t = nowMs();
        platform.processStartTime(process);
        times += nowMs() - t;
        t = nowMs();
        platform.readExecutablePath(process, path);
        image += nowMs() - t;
        t = nowMs();
        platform.visitModules(process, count);
        modules += nowMs() - t;
        platform.closeHandle(process);
      }
      // The floor: every file handle named in this one thread, no worker.
      uint32_t fileType = 0;
      for (size_t i = 0; i < table.size(); ++i) {
        const tarnwick::HandleEntry e = table.entry(i);
        if (e.processId == GetCurrentProcessId() && e.handleValue == value) fileType = e.typeNumber;
      }
      double walk = nowMs();
      size_t files = 0;
      uint64_t current = 0;
      uintptr_t process = 0;
      for (size_t i = 0; i < table.size(); ++i) {
        const tarnwick::HandleEntry e = table.entry(i);
        if (e.processId != current || i == 0) {
          if (process != 0) platform.closeHandle(process);
          current = e.processId;
          process = platform.openProcess(static_cast<uint32_t>(current));
        }
        if (process == 0 || e.typeNumber != fileType) continue;
        const uintptr_t copy = platform.duplicateHandle(process, e.handleValue);
        if (copy == 0) continue;
        tarnwick::identifyHandle(direct, copy, name, true);
        platform.closeHandle(copy);
        ++files;
      }
      if (process != 0) platform.closeHandle(process);
      std::printf("direct_walk_ms %.1f over %zu file handles\n", nowMs() - walk, files);
      std::printf("processes %zu\n", ids.size());
      std::printf("per_search_open_ms %.1f\n", open);
      std::printf("per_search_start_time_ms %.1f\n", times);
      std::printf("per_search_image_ms %.1f\n", image);
      std::printf("per_search_modules_ms %.1f\n", modules);
    }
    finder.releaseSnapshot(slot);
  }
  platform.closeHandle(self);

  constexpr int kSnapshots = 20;
  start = nowMs();
  uint32_t bytes = 0;
  for (int i = 0; i < kSnapshots; ++i) {
    tarnwick::HandleSnapshot slot;
    if (finder.requestHandleSnapshot(slot)) bytes = slot.filled;
    finder.releaseSnapshot(slot);
  }
  std::printf("snapshot_ms %.2f\n", (nowMs() - start) / kSnapshots);
  std::printf("snapshot_bytes %lu\n", static_cast<unsigned long>(bytes));
  finder.stopWorker();
  CloseHandle(file);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  const char16_t letter = static_cast<char16_t>(argv[1][0]);
  int searches = 5;
  bool withPieces = false;
  uint32_t limitMs = 0;
  std::wstring modeList = L"plain,batched";
  for (int i = 2; i < argc; ++i) {
    if (!wcscmp(argv[i], L"--pieces")) {
      withPieces = true;
    } else if (!wcscmp(argv[i], L"--modes") && i + 1 < argc) {
      modeList = argv[++i];
    } else if (!wcscmp(argv[i], L"--limit") && i + 1 < argc) {
      limitMs = static_cast<uint32_t>(_wtoi(argv[++i]));
    } else {
      searches = _wtoi(argv[i]);
    }
  }
  std::vector<Mode> modes;
  const Mode known[] = {{"plain", tarnwick::WalkMode::OneByOne, false, false, false, {}, {}},
                        {"plainwait", tarnwick::WalkMode::OneByOne, true, false, false, {}, {}},
                        {"batched", tarnwick::WalkMode::Batched, true, true, true, {}, {}},
                        {"batchedpoll", tarnwick::WalkMode::Batched, false, true, true, {}, {}},
                        {"batchedbare", tarnwick::WalkMode::Batched, true, false, true, {}, {}},
                        {"batchedserial", tarnwick::WalkMode::Batched, true, true, false, {}, {}}};
  for (const Mode& m : known) {
    const std::wstring name(m.name, m.name + std::strlen(m.name));
    size_t at = modeList.find(name);
    while (at != std::wstring::npos) {
      const size_t end = at + name.size();
      if ((at == 0 || modeList[at - 1] == L',') &&
          (end == modeList.size() || modeList[end] == L',')) {
        modes.push_back(m);
        break;
      }
      at = modeList.find(name, at + 1);
    }
  }

  tarnwick::WindowsBlockerFinder finder;
  if (finder.api == nullptr) return 4;
  if (withPieces) pieces(finder);

  bool same = true;
  finder.options.limitMs = limitMs;
  for (int round = 0; round < searches; ++round) {
    std::string first;
    for (Mode& m : modes) {
      finder.options.mode = m.walk;
      finder.setWorkerWaitsForMessages(m.waits);
      finder.options.lookAtModules = m.modules;
      finder.options.overlapBatches = m.overlap;
      const double start = nowMs();
      const bool found = finder.findBlocker(letter);
      m.times.push_back(nowMs() - start);
      m.last = describe(finder.findings, found);
      if (&m == &modes.front()) first = m.last;
      same = same && m.last == first;
    }
  }
  for (Mode& m : modes) {
    std::sort(m.times.begin(), m.times.end());
    if (m.times.empty()) continue;
    std::printf("%s_ms_min %.1f\n", m.name, m.times.front());
    std::printf("%s_ms_median %.1f\n", m.name, m.times[m.times.size() / 2]);
    std::printf("%s_ms_max %.1f\n", m.name, m.times.back());
    std::printf("%s_found %s\n", m.name, m.last.c_str());
  }
  std::printf("same_findings %d\n", same ? 1 : 0);
  return 0;
}
