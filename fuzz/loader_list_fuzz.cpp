// The loader's module list as another process keeps it: that process writes
// its own records and links, so a hostile or dying one can hand the reader
// anything. The reader must stay inside its buffers, end on every list, and
// hand over only terminated paths of at most kBlockerPathUnits units.
//
// Input: a flags byte (bit 0: the 64-bit layout), then the memory of the
// process, readable from address 0x10000 for as many bytes as follow; the
// environment block is at its start. Everything else is unreadable.
#include "blocker/loader_list.h"
#include "fuzz/fuzz_support.h"

using namespace tarnwick;

namespace {

constexpr uint64_t kBase = 0x10000;

class InputMemory final : public ProcessMemory {
 public:
  InputMemory(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool read(uint64_t address, void* buffer, uint32_t bytes) override {
    ++reads;
    if (address < kBase || address - kBase > size_ || bytes > size_ - (address - kBase)) {
      return false;
    }
    std::memcpy(buffer, data_ + (address - kBase), bytes);
    return true;
  }
  size_t reads = 0;

 private:
  const uint8_t* data_;
  size_t size_;
};

struct CheckPaths final : ModuleVisitor {
  bool visit(const char16_t* path) override {
    size_t units = 0;
    while (units < kBlockerPathUnits && path[units] != 0) ++units;
    FUZZ_CHECK(units < kBlockerPathUnits);
    ++visits;
    return stopAt != 0 && visits == stopAt;
  }
  size_t visits = 0;
  size_t stopAt = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const LoaderLayout layout = (data[0] & 1) != 0 ? LoaderLayout::Bits64 : LoaderLayout::Bits32;
  // The memory in an allocation of exactly its size, so that a read past it is caught.
  std::vector<uint8_t> memory(data + 1, data + size);
  InputMemory process(memory.data(), memory.size());
  CheckPaths paths;
  paths.stopAt = data[0] >> 1;
  visitLoaderList(process, kBase, layout, paths);
  FUZZ_CHECK(paths.visits <= kMostLoaderEntries);
  // Two reads to reach the list, then at most a record and a path per entry.
  FUZZ_CHECK(process.reads <= 2 + 2 * (static_cast<size_t>(kMostLoaderEntries) + 1));
  return 0;
}
