#include "blocker/handle_queries.h"

#include <cstring>

#include "base/text.h"

namespace tarnwick {
namespace {

bool isSizeStatus(uint32_t status) {
  return status == kStatusInfoLengthMismatch || status == kStatusBufferTooSmall ||
         status == kStatusBufferOverflow;
}

// The next buffer size after `size` bytes were too few: what the system said
// it needs with room for growth, at least twice as much; 0 past the largest.
uint32_t grownSize(uint32_t size, uint32_t needed) {
  uint64_t next = static_cast<uint64_t>(size) * 2;
  const uint64_t wanted = static_cast<uint64_t>(needed) + needed / 8 + 4096;
  if (wanted > next) next = wanted;
  if (size >= kLargestSnapshotBytes) return 0;
  if (next > kLargestSnapshotBytes) next = kLargestSnapshotBytes;
  return static_cast<uint32_t>(next);
}

// Empties the slot before releasing its block, so that a worker terminated in
// between leaves nothing that would be released twice.
void discard(HandleQueries& queries, HandleSnapshot& slot) {
  uint8_t* block = slot.data;
  const uint32_t size = slot.size;
  slot.data = nullptr;
  slot.size = 0;
  slot.filled = 0;
  if (block != nullptr) queries.releaseBlock(block, size);
}

}  // namespace

bool takeHandleSnapshot(HandleQueries& queries, HandleSnapshot& slot, uint32_t startTick) {
  HandleTableFormat format = HandleTableFormat::Extended;
  uint32_t size = kFirstSnapshotBytes;
  for (int attempt = 0; attempt < kSnapshotAttempts; ++attempt) {
    if (attempt > 0 && queries.tickCount() - startTick >= kSnapshotRetryBudgetMs) return false;
    slot.data = queries.allocateBlock(size);
    if (slot.data == nullptr) return false;
    slot.size = size;
    uint32_t returned = 0;
    const uint32_t status =
        queries.querySystemInformation(static_cast<uint32_t>(format), slot.data, size, &returned);
    if (status == kStatusSuccess) {
      slot.filled = returned < size ? returned : size;
      slot.format = format;
      return true;
    }
    discard(queries, slot);
    if (isSizeStatus(status)) {
      // The table grew since the last look, or the system did not say how big
      // it is (it reports no size at all for a very small buffer).
      size = grownSize(size, returned);
      if (size == 0) return false;
    } else if (format == HandleTableFormat::Extended) {
      format = HandleTableFormat::Compact;  // a system without the extended table
    } else {
      return false;
    }
  }
  return false;
}

bool readCountedText(const uint8_t* block, size_t bytes, char16_t* text, size_t capacity) {
  // Length and maximum length in bytes, then the pointer to the text, aligned.
  constexpr size_t kPointerOffset = sizeof(void*);
  constexpr size_t kDescriptorBytes = 2 * sizeof(void*);
  if (block == nullptr || capacity == 0 || bytes < kDescriptorBytes) return false;
  uint16_t length = 0;
  std::memcpy(&length, block, sizeof length);
  const uint8_t* start = nullptr;
  std::memcpy(&start, block + kPointerOffset, sizeof start);
  const size_t units = length / 2;
  if (units >= capacity) return false;
  if (units == 0) {
    text[0] = 0;
    return true;
  }
  const uintptr_t base = reinterpret_cast<uintptr_t>(block);
  const uintptr_t at = reinterpret_cast<uintptr_t>(start);
  if (at < base + kDescriptorBytes || at - base > bytes || units * 2 > bytes - (at - base)) {
    return false;
  }
  std::memcpy(text, start, units * 2);
  text[units] = 0;
  return true;
}

namespace {

NameAnswer readType(HandleQueries& queries, uintptr_t handle) {
  // The block lives on the worker's stack: a worker terminated while it waits
  // for an answer must not leave the process heap locked or leak a block.
  alignas(8) uint8_t typeInfo[kTypeQueryBytes];
  uint32_t returned = 0;
  if (queries.queryObject(handle, kObjectTypeInformation, typeInfo, sizeof typeInfo, &returned) !=
      kStatusSuccess) {
    return NameAnswer::Unreadable;
  }
  // Room for every type name the system has, so that "not a file" is only
  // said of a type name that was read.
  char16_t typeName[64];
  if (!readCountedText(typeInfo, sizeof typeInfo, typeName, 64)) return NameAnswer::Unreadable;
  return textEquals(typeName, u"File") ? NameAnswer::FileUnnamed : NameAnswer::NotFile;
}

}  // namespace

NameAnswer identifyHandle(HandleQueries& queries, uintptr_t handle, char16_t* name,
                          bool knownFile) {
  if (!knownFile) {
    const NameAnswer type = readType(queries, handle);
    if (type != NameAnswer::FileUnnamed) return type;
  }
  // Asking a pipe for its name can block for ever.
  if (queries.isPipe(handle)) return NameAnswer::FileUnnamed;
  alignas(8) uint8_t nameInfo[kNameQueryBytes];
  uint32_t returned = 0;
  if (queries.queryObject(handle, kObjectNameInformation, nameInfo, sizeof nameInfo, &returned) !=
      kStatusSuccess) {
    return NameAnswer::FileUnnamed;
  }
  char16_t text[kNameUnits];
  if (!readCountedText(nameInfo, sizeof nameInfo, text, kNameUnits)) return NameAnswer::FileUnnamed;
  return copyText(name, kNameUnits, text) ? NameAnswer::Named : NameAnswer::FileUnnamed;
}

void beginBatchItem(NameBatch& batch, uint32_t index, uint32_t tick) {
  batch.started[index] = tick;
  batch.progress.store(2 * index + 1, std::memory_order_release);
}

void finishBatchItem(HandleQueries& queries, NameBatch& batch, uint32_t index) {
  batch.answers[index] =
      identifyHandle(queries, batch.handles[index], batch.names[index], batch.knownFiles[index]);
  batch.progress.store(2 * index + 2, std::memory_order_release);
}

}  // namespace tarnwick
