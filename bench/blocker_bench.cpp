// How long the blocker search's walk takes per handle-table entry, with the
// system's operations replaced by trivial ones: the cost of the program's
// own logic (table reading, grouping by process, name matching).
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "blocker/blocker_fakes_test.h"
#include "blocker/blocker_search.h"
#include "blocker/handle_table.h"

namespace {

using namespace tarnwick;

constexpr size_t kHandlesPerProcess = 200;

// A table of `entries` entries, 200 per process, none of them on the drive.
std::vector<uint8_t> syntheticTable(size_t entries) {
  std::vector<HandleEntry> list;
  list.reserve(entries);
  for (size_t i = 0; i < entries; ++i)
    list.push_back(HandleEntry{4 * (1 + i / kHandlesPerProcess), 4 * (1 + i)});
  return fakes::encodeHandleTable(HandleTableFormat::Extended, sizeof(void*), list);
}

// Answers at once: every handle names a file on another volume.
constexpr char16_t kText[] = u"\\Device\\HarddiskVolume3\\Users\\me\\Documents\\report.txt";

class InstantWorker : public BlockerWorker {
 public:
  explicit InstantWorker(std::vector<uint8_t>& table) : table_(table) {}
  bool startWorker() override { return true; }
  void stopWorker() override {}
  bool requestHandleSnapshot(HandleSnapshot& slot) override {
    slot.data = table_.data();
    slot.size = slot.filled = static_cast<uint32_t>(table_.size());
    slot.format = HandleTableFormat::Extended;
    return true;
  }
  NameAnswer askHandleName(uintptr_t, char16_t* name) override {
    std::char_traits<char16_t>::copy(name, kText, sizeof kText / 2);
    return NameAnswer::Named;
  }
  void finishHandleNames(NameBatch&) override {}
  void beginHandleNames(NameBatch& batch) override {
    for (uint32_t i = 0; i < batch.count; ++i) {
      std::char_traits<char16_t>::copy(batch.names[i], kText, sizeof kText / 2);
      batch.answers[i] = NameAnswer::Named;
    }
  }
  void releaseSnapshot(HandleSnapshot& slot) override { slot = HandleSnapshot{}; }
  uint32_t tickCount() override { return 0; }
  void limitWaitsTo(uint32_t) override {}
  void removeWaitLimit() override {}

 private:
  std::vector<uint8_t>& table_;
};

class InstantPlatform : public SearchPlatform {
 public:
  bool queryDosDevice(const char16_t*, char16_t* target) override {
    const char16_t device[] = u"\\Device\\HarddiskVolume1";
    std::char_traits<char16_t>::copy(target, device, sizeof device / 2);
    return true;
  }
  uintptr_t openProcess(uint32_t pid) override { return pid; }
  bool readExecutablePath(uintptr_t, char16_t* path) override {
    const char16_t image[] = u"C:\\Program Files\\Editor\\editor.exe";
    std::char_traits<char16_t>::copy(path, image, sizeof image / 2);
    return true;
  }
  bool readImageName(uintptr_t, char16_t*) override { return false; }
  uint64_t processStartTime(uintptr_t) override { return 1; }
  bool visitModules(uintptr_t, ModuleVisitor&) override { return false; }
  uintptr_t duplicateHandle(uintptr_t, uint64_t value) override {
    return static_cast<uintptr_t>(value);
  }
  void closeHandle(uintptr_t) override {}
  uint32_t fileAttributes(const char16_t*) override { return 0x20; }
};

void BM_BlockerWalk(benchmark::State& state) {
  const size_t entries = static_cast<size_t>(state.range(0));
  std::vector<uint8_t> table = syntheticTable(entries);
  InstantWorker worker(table);
  InstantPlatform platform;
  BlockerFindings found;
  for (auto _ : state) {
    benchmark::DoNotOptimize(findBlocker(u'E', found, worker, platform));
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * entries));
  state.counters["per_entry"] = benchmark::Counter(
      static_cast<double>(entries),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_BlockerWalk)->Arg(100000)->Unit(benchmark::kMillisecond);

// The same walk through the real worker protocol, the worker thread
// simulated, on a desktop-like table: one handle in ten a file on another
// volume, the rest of five other types. Argument: 0 one request per
// handle, 1 batched. The time is the program's own logic and the fakes'.
void BM_BlockerWalkThroughTheWorkerProtocol(benchmark::State& state) {
  const size_t entries = 100000;
  fakes::FakeWorld world;
  world.devices[u"E:"] = u"\\Device\\HarddiskVolume1";
  const char16_t* const others[] = {u"Event", u"Key", u"Section", u"Thread", u"Mutex"};
  for (size_t i = 0; i < entries; ++i) {
    const uint32_t pid = static_cast<uint32_t>(4 * (1 + i / 2500));
    if (i % 2500 == 0) world.addProcess(pid, u"C:\\Program Files\\Editor\\editor.exe");
    if (i % 10 == 0) {
      world.addFile(pid, 4 * (1 + i),
                    u"\\Device\\HarddiskVolume3\\Users\\me\\Documents\\report.txt");
    } else {
      world.addHandle(pid, 4 * (1 + i), fakes::FakeObject{others[i % 5], u""});
    }
  }
  fakes::FakeWorkerThread threads;
  world.clock = &threads.now;
  QueryWorker worker(threads, world.queries);
  BlockerFindings found;
  SearchOptions options;
  options.mode = state.range(0) == 0 ? WalkMode::OneByOne : WalkMode::Batched;
  options.limitMs = 0;
  size_t duplicated = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(findBlocker(u'E', found, worker, world.platform, options));
    duplicated = world.duplicated.size();
    world.duplicated.clear();
    world.openedProcesses.clear();
  }
  state.counters["duplicated"] = static_cast<double>(duplicated);
  state.counters["per_entry"] = benchmark::Counter(
      static_cast<double>(entries),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_BlockerWalkThroughTheWorkerProtocol)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_HandleTableRead(benchmark::State& state) {
  const size_t entries = static_cast<size_t>(state.range(0));
  const std::vector<uint8_t> table = syntheticTable(entries);
  const HandleTableLayout layout = handleTableLayout(HandleTableFormat::Extended, sizeof(void*));
  for (auto _ : state) {
    const HandleTableView view(table.data(), table.size(), layout);
    uint64_t sum = 0;
    for (size_t i = 0; i < view.size(); ++i) {
      const HandleEntry e = view.entry(i);
      sum += e.processId ^ e.handleValue;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.counters["per_entry"] = benchmark::Counter(
      static_cast<double>(entries),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_HandleTableRead)->Arg(100000)->Unit(benchmark::kMicrosecond);

}  // namespace
