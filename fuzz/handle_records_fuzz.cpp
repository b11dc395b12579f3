// The object type and name records of NtQueryObject: a counted text whose
// length and text pointer the system fills, read with readCountedText on its
// own and through nameFileHandle.
//
// Input: a flags byte (bit 0: the handle is a pipe; bit 1: the type query
// fails; bit 2: the name query fails; bits 3-7 choose the capacity of the
// direct read), the length n of the type record, n bytes of type record,
// and the name record in the rest. A record is the text's length in bytes
// (16 bits), its maximum length (16 bits), the text pointer as a signed
// 32-bit offset from the record's start, then the bytes after the
// descriptor; what is missing is zero.
#include <optional>

#include "blocker/handle_queries.h"
#include "fuzz/fuzz_support.h"

using namespace tarnwick;

namespace {

constexpr size_t kDescriptorBytes = 2 * sizeof(void*);

struct Record {
  uint16_t length = 0;
  uint16_t maximumLength = 0;
  int32_t offset = 0;
  std::vector<uint8_t> payload;  // the bytes after the descriptor
};

Record decodeRecord(const uint8_t* data, size_t size) {
  uint8_t head[8] = {};
  std::memcpy(head, data, size < 8 ? size : 8);
  Record r;
  std::memcpy(&r.length, head, 2);
  std::memcpy(&r.maximumLength, head + 2, 2);
  std::memcpy(&r.offset, head + 4, 4);
  if (size > 8) r.payload.assign(data + 8, data + size);
  return r;
}

// Writes the record as the system would into a block of `bytes` bytes at
// `block`: the descriptor, the bytes after it as far as they fit, zeros.
size_t writeRecord(const Record& r, uint8_t* block, size_t bytes) {
  std::memset(block, 0, bytes);
  std::memcpy(block, &r.length, 2);
  std::memcpy(block + 2, &r.maximumLength, 2);
  const uintptr_t text =
      reinterpret_cast<uintptr_t>(block) + static_cast<uintptr_t>(static_cast<intptr_t>(r.offset));
  std::memcpy(block + sizeof(void*), &text, sizeof text);
  const size_t room = bytes - kDescriptorBytes;
  const size_t n = r.payload.size() < room ? r.payload.size() : room;
  if (n > 0) std::memcpy(block + kDescriptorBytes, r.payload.data(), n);
  return kDescriptorBytes + n;
}

// The text a sound reader takes from the record in a block of `bytes`
// bytes, or nothing when the text lies outside the block or does not fit
// `capacity` units with its terminator.
std::optional<std::u16string> expectedText(const Record& r, const uint8_t* block, size_t bytes,
                                           size_t capacity) {
  const size_t units = r.length / 2;
  if (units >= capacity) return std::nullopt;
  if (units == 0) return std::u16string();
  const int64_t begin = r.offset;
  if (begin < static_cast<int64_t>(kDescriptorBytes) ||
      begin + static_cast<int64_t>(units * 2) > static_cast<int64_t>(bytes)) {
    return std::nullopt;
  }
  std::u16string text(units, u'\0');
  std::memcpy(&text[0], block + begin, units * 2);
  return text;
}

struct ObjectQueries : HandleQueries {
  Record type;
  Record name;
  bool pipe = false;
  bool typeFails = false;
  bool nameFails = false;
  std::optional<std::u16string> typeText;  // as the type block held it
  std::optional<std::u16string> nameText;  // as the name block held it
  bool askedPipe = false;
  bool askedName = false;

  uint32_t querySystemInformation(uint32_t, void*, uint32_t, uint32_t*) override {
    FUZZ_CHECK(false);
    return 0;
  }
  uint32_t queryObject(uintptr_t handle, uint32_t infoClass, void* buffer, uint32_t size,
                       uint32_t* returned) override {
    FUZZ_CHECK(handle == 0x44);
    uint8_t* block = static_cast<uint8_t*>(buffer);
    if (infoClass == kObjectTypeInformation) {
      FUZZ_CHECK(size == kTypeQueryBytes);
      if (typeFails) return kStatusBufferOverflow;
      *returned = static_cast<uint32_t>(writeRecord(type, block, size));
      typeText = expectedText(type, block, size, 64);
      return kStatusSuccess;
    }
    FUZZ_CHECK(infoClass == kObjectNameInformation);
    FUZZ_CHECK(size == kNameQueryBytes);
    FUZZ_CHECK(askedPipe && !pipe);  // a pipe is never asked for its name
    askedName = true;
    if (nameFails) return kStatusBufferOverflow;
    *returned = static_cast<uint32_t>(writeRecord(name, block, size));
    nameText = expectedText(name, block, size, kNameUnits);
    return kStatusSuccess;
  }
  bool isPipe(uintptr_t) override {
    askedPipe = true;
    return pipe;
  }
  uint8_t* allocateBlock(uint32_t) override { return nullptr; }
  void releaseBlock(uint8_t*, uint32_t) override { FUZZ_CHECK(false); }
  uint32_t tickCount() override { return 0; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t flags = data[0];
  const size_t typeBytes = data[1] < size - 2 ? data[1] : size - 2;
  const Record type = decodeRecord(data + 2, typeBytes);
  const Record name = decodeRecord(data + 2 + typeBytes, size - 2 - typeBytes);

  // The name record alone, in a block of exactly its bytes, into a text
  // buffer of exactly its capacity.
  {
    const size_t bytes = kDescriptorBytes + name.payload.size();
    std::unique_ptr<uint8_t[]> block(new uint8_t[bytes]);
    writeRecord(name, block.get(), bytes);
    const size_t capacity = 1 + (flags >> 3) * 11;
    std::unique_ptr<char16_t[]> text(new char16_t[capacity]);
    const bool read = readCountedText(block.get(), bytes, text.get(), capacity);
    const std::optional<std::u16string> wanted = expectedText(name, block.get(), bytes, capacity);
    FUZZ_CHECK(read == wanted.has_value());
    if (read) {
      FUZZ_CHECK(wanted->size() < capacity && text[wanted->size()] == 0);
      FUZZ_CHECK(std::memcmp(text.get(), wanted->data(), wanted->size() * 2) == 0);
    }
    // Blocks too small for the descriptor hold no text.
    for (size_t small = 0; small < kDescriptorBytes && small <= bytes; ++small) {
      FUZZ_CHECK(!readCountedText(block.get(), small, text.get(), capacity));
    }
    FUZZ_CHECK(!readCountedText(nullptr, bytes, text.get(), capacity));
    FUZZ_CHECK(!readCountedText(block.get(), bytes, text.get(), 0));
  }

  ObjectQueries queries;
  queries.type = type;
  queries.name = name;
  queries.pipe = (flags & 1) != 0;
  queries.typeFails = (flags & 2) != 0;
  queries.nameFails = (flags & 4) != 0;
  std::unique_ptr<char16_t[]> out(new char16_t[kNameUnits]);
  const bool named = nameFileHandle(queries, 0x44, out.get());
  const bool isFile =
      !queries.typeFails && queries.typeText && fuzz::untilZero(*queries.typeText) == u"File";
  FUZZ_CHECK(queries.askedPipe == isFile);
  FUZZ_CHECK(queries.askedName == (isFile && !queries.pipe));
  FUZZ_CHECK(named == (queries.askedName && !queries.nameFails && queries.nameText.has_value()));
  if (named) {
    FUZZ_CHECK(fuzz::unitsBeforeZero(out.get(), kNameUnits) < kNameUnits);
    FUZZ_CHECK(std::u16string(out.get()) == fuzz::untilZero(*queries.nameText));
  }
  return 0;
}
