// The system handle table as NtQuerySystemInformation returns it, read
// without trusting it: no entry is read beyond the bytes the system filled,
// whatever the table's own count says.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarnwick {

// Information classes of the two table forms.
enum class HandleTableFormat : uint32_t {
  Compact = 16,   // process ids and handle values of 16 bits on Windows
  Extended = 64,  // pointer-sized process ids and handle values
};

// Where the fields lie in one form of the table for one pointer size.
struct HandleTableLayout {
  uint32_t countBytes;   // width of the count at offset 0
  uint32_t headerBytes;  // offset of the first entry
  uint32_t entryBytes;   // distance between entries
  uint32_t pidOffset;    // within an entry
  uint32_t pidBytes;
  uint32_t handleOffset;  // within an entry
  uint32_t handleBytes;
  uint32_t typeOffset;  // within an entry: the object type number
  uint32_t typeBytes;
};

// Layout of `format` as a process with `pointerBytes`-wide pointers (4 or 8)
// receives it.
HandleTableLayout handleTableLayout(HandleTableFormat format, uint32_t pointerBytes);

// One entry: the owner's process id, the handle value valid in the owner, and
// the number the system gives the object's type (the same number for every
// object of one type, for as long as the system runs).
struct HandleEntry {
  uint64_t processId;
  uint64_t handleValue;
  uint32_t typeNumber = 0;
};

// A read-only view of a table held in `filledBytes` bytes at `data`.
class HandleTableView {
 public:
  HandleTableView(const uint8_t* data, size_t filledBytes, const HandleTableLayout& layout);

  // Entries that both the count announces and the filled bytes hold.
  size_t size() const { return size_; }
  // Entry `index` (< size()).
  HandleEntry entry(size_t index) const;

 private:
  const uint8_t* data_;
  HandleTableLayout layout_;
  size_t size_;
};

}  // namespace tarnwick
