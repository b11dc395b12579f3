#include "blocker/loader_list.h"

namespace tarnwick {
namespace {

// Where the loader keeps what the reader follows, for each pointer size:
// the loader data in the environment block, the load-order list in the
// loader data, and the full path (a counted string) in a list record, whose
// first field is the link to the next record.
struct Offsets {
  uint32_t pointerBytes;
  uint32_t loaderData;
  uint32_t loadOrderList;
  uint32_t pathLength;
  uint32_t pathText;
};

constexpr Offsets kOffsets32 = {4, 0x0C, 0x0C, 0x24, 0x28};
constexpr Offsets kOffsets64 = {8, 0x18, 0x10, 0x48, 0x50};

uint64_t pointerAt(const uint8_t* bytes, uint32_t pointerBytes) {
  uint64_t value = 0;
  for (uint32_t i = 0; i < pointerBytes; ++i) value |= static_cast<uint64_t>(bytes[i]) << (8 * i);
  return value;
}

bool readPointer(ProcessMemory& memory, uint64_t address, uint32_t pointerBytes, uint64_t& value) {
  uint8_t bytes[8] = {};
  if (!memory.read(address, bytes, pointerBytes)) return false;
  value = pointerAt(bytes, pointerBytes);
  return true;
}

}  // namespace

bool visitLoaderList(ProcessMemory& memory, uint64_t environmentBlock, LoaderLayout layout,
                     ModuleVisitor& visitor) {
  const Offsets& o = layout == LoaderLayout::Bits64 ? kOffsets64 : kOffsets32;
  uint64_t loaderData = 0;
  if (environmentBlock == 0 ||
      !readPointer(memory, environmentBlock + o.loaderData, o.pointerBytes, loaderData) ||
      loaderData == 0) {
    return false;
  }
  const uint64_t head = loaderData + o.loadOrderList;
  uint64_t link = 0;
  if (!readPointer(memory, head, o.pointerBytes, link)) return false;
  // The record up to the end of its path's counted string.
  uint8_t record[0x58];
  const uint32_t recordBytes = o.pathText + o.pointerBytes;
  char16_t path[kBlockerPathUnits];
  for (uint32_t seen = 0; link != head; ++seen) {
    if (link == 0 || seen == kMostLoaderEntries) return false;
    if (!memory.read(link, record, recordBytes)) return false;
    link = pointerAt(record, o.pointerBytes);
    const uint32_t length = static_cast<uint32_t>(record[o.pathLength]) |
                            static_cast<uint32_t>(record[o.pathLength + 1]) << 8;
    uint32_t units = length / 2;
    if (units > kBlockerPathUnits - 1) units = kBlockerPathUnits - 1;
    const uint64_t text = pointerAt(record + o.pathText, o.pointerBytes);
    if (units > 0 && !memory.read(text, path, units * 2)) continue;
    path[units] = 0;
    if (visitor.visit(path)) return true;
  }
  return true;
}

}  // namespace tarnwick
