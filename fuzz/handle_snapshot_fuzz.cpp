// Taking the handle-table snapshot when the system's answers are anything:
// any status, any size it says it filled or needs, a clock that jumps, and
// allocations that fail.
//
// Input: the number of answers, then per answer 8 bytes: a selector (low
// three bits: 0 success, 1 length mismatch, 2 buffer too small, 3 buffer
// overflow, 4 invalid class, 5 other failure, 6-7 success; bit 7: the
// allocation before this query fails), the returned byte count (32 bits),
// the milliseconds the clock moves before the next attempt (16 bits), one
// unused byte; then the table bytes a successful query fills in.
#include <sys/mman.h>

#include <map>

#include "blocker/handle_queries.h"
#include "fuzz/fuzz_support.h"

using namespace tarnwick;

namespace {

struct Answer {
  uint8_t selector = 0;
  uint32_t returned = 0;
  uint16_t clockStep = 0;
};

struct SnapshotQueries : HandleQueries {
  std::vector<Answer> answers;
  const uint8_t* table = nullptr;
  size_t tableBytes = 0;

  size_t next = 0;  // the answer of the next query (and of the allocation before it)
  uint32_t start = 0;
  uint32_t now = 0;
  std::map<uint8_t*, uint32_t> live;  // blocks handed out and not yet released
  uint32_t lastSize = 0;
  uint32_t lastStatus = 0;
  uint32_t lastClass = 0;
  uint32_t lastReturned = 0;
  uint8_t* lastBlock = nullptr;
  int queries = 0;

  const Answer& answer() const {
    static const Answer kFailure{5, 0, 0};
    return next < answers.size() ? answers[next] : kFailure;
  }

  uint32_t querySystemInformation(uint32_t infoClass, void* buffer, uint32_t size,
                                  uint32_t* returned) override {
    ++queries;
    FUZZ_CHECK(queries <= kSnapshotAttempts);
    FUZZ_CHECK(buffer == lastBlock && size == lastSize);
    FUZZ_CHECK(infoClass == static_cast<uint32_t>(HandleTableFormat::Extended) ||
               infoClass == static_cast<uint32_t>(HandleTableFormat::Compact));
    // The extended form first; the compact one only after the system refused it.
    if (queries == 1) FUZZ_CHECK(infoClass == static_cast<uint32_t>(HandleTableFormat::Extended));
    if (infoClass == static_cast<uint32_t>(HandleTableFormat::Compact) && lastClass == 64) {
      FUZZ_CHECK(lastStatus == 0xC0000003 || lastStatus == 0xC0000001);
    }
    const Answer& a = answer();
    now += a.clockStep;
    ++next;
    static const uint32_t kStatuses[8] = {kStatusSuccess,
                                          kStatusInfoLengthMismatch,
                                          kStatusBufferTooSmall,
                                          kStatusBufferOverflow,
                                          0xC0000003,
                                          0xC0000001,
                                          kStatusSuccess,
                                          kStatusSuccess};
    const uint32_t status = kStatuses[a.selector & 7];
    lastStatus = status;
    lastClass = infoClass;
    lastReturned = a.returned;
    *returned = a.returned;
    if (status == kStatusSuccess) {
      std::memcpy(buffer, table, tableBytes < size ? tableBytes : size);
    }
    return status;
  }
  uint32_t queryObject(uintptr_t, uint32_t, void*, uint32_t, uint32_t*) override {
    FUZZ_CHECK(false);
    return 0;
  }
  bool isPipe(uintptr_t) override {
    FUZZ_CHECK(false);
    return false;
  }
  uint8_t* allocateBlock(uint32_t size) override {
    FUZZ_CHECK(live.empty());  // one block at a time
    FUZZ_CHECK(size >= kFirstSnapshotBytes && size <= kLargestSnapshotBytes);
    if (lastSize != 0) {
      // No retry once the time is up; a table that did not fit is asked
      // for again only in a larger buffer.
      FUZZ_CHECK(now - start < kSnapshotRetryBudgetMs);
      FUZZ_CHECK(size >= lastSize);
      if (lastStatus != kStatusSuccess && lastStatus != 0xC0000003 && lastStatus != 0xC0000001) {
        FUZZ_CHECK(size > lastSize);
      }
    }
    lastSize = size;
    lastBlock = nullptr;
    if ((answer().selector & 0x80) != 0) {
      ++next;
      return nullptr;
    }
    // Zero-filled pages, taken only when touched.
    void* block = mmap(nullptr, size, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    FUZZ_CHECK(block != MAP_FAILED);
    lastBlock = static_cast<uint8_t*>(block);
    live[lastBlock] = size;
    return lastBlock;
  }
  void releaseBlock(uint8_t* block, uint32_t size) override {
    auto it = live.find(block);
    FUZZ_CHECK(it != live.end() && it->second == size);
    munmap(block, size);
    live.erase(it);
  }
  uint32_t tickCount() override { return now; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  SnapshotQueries queries;
  const size_t count = data[0] % 16;
  size_t at = 1;
  for (size_t i = 0; i < count && at + 8 <= size; ++i, at += 8) {
    Answer a;
    a.selector = data[at];
    std::memcpy(&a.returned, data + at + 1, 4);
    std::memcpy(&a.clockStep, data + at + 5, 2);
    queries.answers.push_back(a);
  }
  queries.table = data + at;
  queries.tableBytes = size - at;

  // The clock starts anywhere, close to its wrap included.
  queries.start = queries.now = 0xFFFFFF00u + static_cast<uint32_t>(size % 512);
  HandleSnapshot slot;
  const bool taken = takeHandleSnapshot(queries, slot, queries.start);
  if (!taken) {
    FUZZ_CHECK(slot.data == nullptr);
    FUZZ_CHECK(queries.live.empty());
    return 0;
  }
  FUZZ_CHECK(queries.lastStatus == kStatusSuccess);
  FUZZ_CHECK(slot.data == queries.lastBlock && slot.size == queries.lastSize);
  FUZZ_CHECK(queries.live.size() == 1 && queries.live.count(slot.data) == 1);
  FUZZ_CHECK(slot.filled <= slot.size);
  FUZZ_CHECK(slot.filled == (queries.lastReturned < slot.size ? queries.lastReturned : slot.size));
  FUZZ_CHECK(static_cast<uint32_t>(slot.format) == queries.lastClass);

  // The table it holds is read only within the bytes filled.
  const HandleTableView view(slot.data, slot.filled, handleTableLayout(slot.format, sizeof(void*)));
  const size_t shown = view.size() < 4096 ? view.size() : 4096;
  for (size_t i = 0; i < shown; ++i) view.entry(i);
  if (view.size() > 0) view.entry(view.size() - 1);
  queries.releaseBlock(slot.data, slot.size);
  return 0;
}
