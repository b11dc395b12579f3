// Test-only program: times the blocker search's pieces under the real
// system, for the benchmark script (not a test).
//   blocker_timing.exe LETTER [SEARCHES]
// Prints "key value" lines: the mean name request round trip through the
// worker thread and, for comparison, the same query made directly; the
// snapshot's size and time; and the time of whole searches for LETTER.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <vector>

#include "blocker/blocker_finder_win32.h"
#include "blocker/handle_queries_win32.h"

namespace {

double nowMs() {
  LARGE_INTEGER frequency, counter;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&counter);
  return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  const char16_t letter = static_cast<char16_t>(argv[1][0]);
  const int searches = argc > 2 ? _wtoi(argv[2]) : 5;

  wchar_t path[MAX_PATH];
  GetTempPathW(MAX_PATH, path);
  wcscat(path, L"tarnwick-timing.tmp");
  HANDLE file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 3;

  tarnwick::WindowsBlockerFinder finder;
  if (finder.api == nullptr || !finder.startWorker()) return 4;
  char16_t name[tarnwick::kNameUnits];
  constexpr int kRequests = 3000;
  double start = nowMs();
  int named = 0;
  for (int i = 0; i < kRequests; ++i) named += finder.requestHandleName(file, name) ? 1 : 0;
  std::printf("name_round_trip_us %.1f\n", 1000.0 * (nowMs() - start) / kRequests);
  std::printf("names_answered %d/%d\n", named, kRequests);

  tarnwick::WindowsHandleQueries direct(finder.api);
  start = nowMs();
  for (int i = 0; i < kRequests; ++i) tarnwick::nameFileHandle(direct, reinterpret_cast<uintptr_t>(file), name);
  std::printf("name_direct_us %.1f\n", 1000.0 * (nowMs() - start) / kRequests);

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

  std::vector<double> times;
  bool found = false;
  for (int i = 0; i < searches; ++i) {
    start = nowMs();
    found = finder.findBlocker(letter);
    times.push_back(nowMs() - start);
  }
  std::sort(times.begin(), times.end());
  if (!times.empty()) {
    std::printf("search_ms_min %.1f\n", times.front());
    std::printf("search_ms_median %.1f\n", times[times.size() / 2]);
    std::printf("search_ms_max %.1f\n", times.back());
  }
  std::printf("search_found %d\n", found ? 1 : 0);
  CloseHandle(file);
  return 0;
}
