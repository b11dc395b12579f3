#include "blocker/handle_table.h"

namespace tarnwick {
namespace {

// Little-endian unsigned value of 1, 2, 4 or 8 bytes at `p`, which need not be
// aligned. Fixed widths let the compiler read each in one load.
uint64_t readUnsigned(const uint8_t* p, uint32_t bytes) {
  if (bytes == 1) return p[0];
  const uint64_t low = static_cast<uint64_t>(p[0]) | static_cast<uint64_t>(p[1]) << 8;
  if (bytes == 2) return low;
  const uint64_t word = low | static_cast<uint64_t>(p[2]) << 16 | static_cast<uint64_t>(p[3]) << 24;
  if (bytes == 4) return word;
  return word | static_cast<uint64_t>(p[4]) << 32 | static_cast<uint64_t>(p[5]) << 40 |
         static_cast<uint64_t>(p[6]) << 48 | static_cast<uint64_t>(p[7]) << 56;
}

}  // namespace

HandleTableLayout handleTableLayout(HandleTableFormat format, uint32_t pointerBytes) {
  const uint32_t p = pointerBytes == 8 ? 8 : 4;
  if (format == HandleTableFormat::Extended) {
    // Count and a reserved word, each pointer-sized; each entry holds the object
    // address, the process id and the handle value (all pointer-sized), then
    // access, back-trace index, type index, attributes and a reserved word.
    return HandleTableLayout{p, 2 * p, 3 * p + 16, p, p, 2 * p, p, 3 * p + 6, 2};
  }
  // A 32-bit count, then entries aligned for the object address they hold:
  // owner id (read as 32 bits), type, flags, 16-bit handle value, address, access.
  return HandleTableLayout{4, p, p == 8 ? 24u : 16u, 0, 4, 6, 2, 4, 1};
}

HandleTableView::HandleTableView(const uint8_t* data, size_t filledBytes,
                                 const HandleTableLayout& layout)
    : data_(data), layout_(layout), size_(0) {
  if (data == nullptr || layout.entryBytes == 0 || filledBytes < layout.headerBytes ||
      filledBytes < layout.countBytes) {
    return;
  }
  const uint64_t announced = readUnsigned(data, layout.countBytes);
  const uint64_t held = (filledBytes - layout.headerBytes) / layout.entryBytes;
  size_ = static_cast<size_t>(announced < held ? announced : held);
}

HandleEntry HandleTableView::entry(size_t index) const {
  const uint8_t* e = data_ + layout_.headerBytes + index * layout_.entryBytes;
  return HandleEntry{
      readUnsigned(e + layout_.pidOffset, layout_.pidBytes),
      readUnsigned(e + layout_.handleOffset, layout_.handleBytes),
      static_cast<uint32_t>(readUnsigned(e + layout_.typeOffset, layout_.typeBytes))};
}

}  // namespace tarnwick
