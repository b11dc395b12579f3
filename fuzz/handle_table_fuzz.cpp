// The system handle table as NtQuerySystemInformation fills it: any count,
// any entries, cut anywhere. Input: one byte choosing the form (bit 0: the
// extended form) and the pointer size (the byte's upper seven bits; 4 and 8
// are the real ones), then the filled bytes.
#include "blocker/handle_table.h"
#include "fuzz/fuzz_support.h"

using namespace tarnwick;

namespace {

uint64_t readLittleEndian(const uint8_t* p, uint32_t bytes) {
  uint64_t value = 0;
  for (uint32_t i = 0; i < bytes; ++i) value |= static_cast<uint64_t>(p[i]) << (8 * i);
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const HandleTableFormat format =
      (data[0] & 1) != 0 ? HandleTableFormat::Extended : HandleTableFormat::Compact;
  const uint32_t pointerBytes = data[0] >> 1;
  const HandleTableLayout layout = handleTableLayout(format, pointerBytes);

  // Every field of an entry lies inside the entry, and the header holds the count.
  FUZZ_CHECK(layout.entryBytes > 0);
  FUZZ_CHECK(layout.countBytes <= layout.headerBytes);
  FUZZ_CHECK(layout.pidOffset + layout.pidBytes <= layout.entryBytes);
  FUZZ_CHECK(layout.handleOffset + layout.handleBytes <= layout.entryBytes);
  for (uint32_t width : {layout.countBytes, layout.pidBytes, layout.handleBytes}) {
    FUZZ_CHECK(width == 2 || width == 4 || width == 8);
  }

  // The filled bytes in an allocation of exactly their size.
  const size_t filled = size - 1;
  std::unique_ptr<uint8_t[]> table(new uint8_t[filled == 0 ? 1 : filled]);
  std::memcpy(table.get(), data + 1, filled);
  const HandleTableView view(table.get(), filled, layout);

  if (filled < layout.headerBytes) {
    FUZZ_CHECK(view.size() == 0);
    return 0;
  }
  const uint64_t announced = readLittleEndian(table.get(), layout.countBytes);
  const uint64_t held = (filled - layout.headerBytes) / layout.entryBytes;
  FUZZ_CHECK(view.size() == (announced < held ? announced : held));
  for (size_t i = 0; i < view.size(); ++i) {
    const HandleEntry e = view.entry(i);
    const uint8_t* at = table.get() + layout.headerBytes + i * layout.entryBytes;
    FUZZ_CHECK(e.processId == readLittleEndian(at + layout.pidOffset, layout.pidBytes));
    FUZZ_CHECK(e.handleValue == readLittleEndian(at + layout.handleOffset, layout.handleBytes));
  }
  // A view of no bytes at all holds nothing.
  FUZZ_CHECK(HandleTableView(nullptr, filled, layout).size() == 0);
  return 0;
}
