// Reads the list of modules that the loader of another process keeps in that
// process's memory: the paths of its executable and of every library it has
// loaded, in load order. Two reads per module, where the system's own
// snapshot of a module list takes several reads and copies per module.
#pragma once

#include <cstdint>

#include "blocker/blocker_search.h"

namespace tarnwick {

// Reads the memory of one process.
class ProcessMemory {
 public:
  virtual bool read(uint64_t address, void* buffer, uint32_t bytes) = 0;

 protected:
  ~ProcessMemory() = default;
};

// The loader's records come in the process's own pointer size.
enum class LoaderLayout : uint8_t { Bits32, Bits64 };

// More modules than any process loads: a list that goes on past this many
// entries is taken to be changing under the reader, or broken.
constexpr uint32_t kMostLoaderEntries = 16384;

// Hands the full path of each module in the list of the loader whose
// process environment block is at `environmentBlock`, in load order, to
// `visitor` until it says stop. Paths longer than kBlockerPathUnits - 1
// units are cut there; a path that cannot be read is passed over. False when
// the list cannot be read: the process has no loader data yet, or a link or
// record cannot be read (the modules before it were visited).
bool visitLoaderList(ProcessMemory& memory, uint64_t environmentBlock, LoaderLayout layout,
                     ModuleVisitor& visitor);

}  // namespace tarnwick
