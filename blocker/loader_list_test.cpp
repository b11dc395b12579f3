#include "blocker/loader_list.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace tarnwick {
namespace {

// Another process's memory: separate readable regions; a read must lie
// inside one of them.
class FakeMemory final : public ProcessMemory {
 public:
  bool read(uint64_t address, void* buffer, uint32_t bytes) override {
    ++reads;
    auto r = regions.upper_bound(address);
    if (r == regions.begin()) return false;
    --r;
    const uint64_t offset = address - r->first;
    if (offset + bytes > r->second.size()) return false;
    std::memcpy(buffer, r->second.data() + offset, bytes);
    return true;
  }
  void put(uint64_t address, uint64_t value, uint32_t bytes) {
    std::vector<uint8_t>& region = regions[address];
    region.resize(bytes);
    for (uint32_t i = 0; i < bytes; ++i) region[i] = static_cast<uint8_t>(value >> (8 * i));
  }

  std::map<uint64_t, std::vector<uint8_t>> regions;
  int reads = 0;
};

// A loader's list laid out as the system lays it out for one pointer size.
struct LoaderImage {
  explicit LoaderImage(LoaderLayout layout) : layout(layout) {}

  uint32_t pointer() const { return layout == LoaderLayout::Bits64 ? 8 : 4; }
  uint64_t head() const { return kLoaderData + (layout == LoaderLayout::Bits64 ? 0x10 : 0x0C); }
  uint64_t recordAt(size_t i) const { return 0x30000 + 0x1000 * i; }

  // Writes the block, the loader data and one record per path, linked in
  // order and back to the head; `length` overrides a path's byte count.
  FakeMemory build(const std::vector<std::u16string>& paths, int length = -1) const {
    FakeMemory m;
    m.put(kBlock + (layout == LoaderLayout::Bits64 ? 0x18 : 0x0C), kLoaderData, pointer());
    m.put(head(), paths.empty() ? head() : recordAt(0), pointer());
    for (size_t i = 0; i < paths.size(); ++i) {
      const uint32_t lengthAt = layout == LoaderLayout::Bits64 ? 0x48 : 0x24;
      const uint32_t textAt = lengthAt + (layout == LoaderLayout::Bits64 ? 8 : 4);
      std::vector<uint8_t> record(textAt + pointer(), 0xCC);
      const uint64_t next = i + 1 < paths.size() ? recordAt(i + 1) : head();
      const uint64_t text = 0x900000 + 0x1000 * i;
      const uint32_t bytes =
          length >= 0 ? static_cast<uint32_t>(length) : static_cast<uint32_t>(paths[i].size() * 2);
      for (uint32_t b = 0; b < pointer(); ++b) {
        record[b] = static_cast<uint8_t>(next >> (8 * b));
        record[textAt + b] = static_cast<uint8_t>(text >> (8 * b));
      }
      record[lengthAt] = static_cast<uint8_t>(bytes);
      record[lengthAt + 1] = static_cast<uint8_t>(bytes >> 8);
      m.regions[recordAt(i)] = record;
      std::vector<uint8_t> textBytes(paths[i].size() * 2);
      if (!textBytes.empty()) std::memcpy(textBytes.data(), paths[i].data(), textBytes.size());
      m.regions[text] = textBytes;
    }
    return m;
  }

  static constexpr uint64_t kBlock = 0x7000;
  static constexpr uint64_t kLoaderData = 0x20000;
  const LoaderLayout layout;
};

struct Collect final : ModuleVisitor {
  bool visit(const char16_t* path) override {
    paths.emplace_back(path);
    return stopAfter != 0 && paths.size() == stopAfter;
  }
  std::vector<std::u16string> paths;
  size_t stopAfter = 0;
};

class LoaderList : public ::testing::TestWithParam<LoaderLayout> {
 protected:
  LoaderImage image{GetParam()};
};

INSTANTIATE_TEST_SUITE_P(BothPointerSizes, LoaderList,
                         ::testing::Values(LoaderLayout::Bits32, LoaderLayout::Bits64));

TEST_P(LoaderList, VisitsEveryPathInLoadOrderWithTwoReadsPerModule) {
  const std::vector<std::u16string> paths = {u"C:\\Apps\\tool.exe", u"C:\\Windows\\ntdll.dll",
                                             u"E:\\plugins\\codec.dll", u""};
  FakeMemory memory = image.build(paths);
  Collect seen;
  EXPECT_TRUE(visitLoaderList(memory, LoaderImage::kBlock, GetParam(), seen));
  EXPECT_EQ(seen.paths, paths);
  // The loader data, the head's link, then a record and a path per module
  // (none for the empty path).
  EXPECT_EQ(memory.reads, 2 + 2 * 3 + 1);
}

TEST_P(LoaderList, StopsReadingWhenTheVisitorSaysSo) {
  FakeMemory memory = image.build({u"C:\\a.exe", u"E:\\b.dll", u"C:\\c.dll"});
  Collect seen;
  seen.stopAfter = 2;
  EXPECT_TRUE(visitLoaderList(memory, LoaderImage::kBlock, GetParam(), seen));
  EXPECT_EQ(seen.paths.size(), 2u);
  EXPECT_EQ(memory.reads, 2 + 2 * 2);
}

TEST_P(LoaderList, AProcessWithoutLoaderDataOrBlockCannotBeRead) {
  Collect seen;
  FakeMemory noData = image.build({u"C:\\a.exe"});
  noData.put(LoaderImage::kBlock + (GetParam() == LoaderLayout::Bits64 ? 0x18 : 0x0C), 0,
             image.pointer());
  EXPECT_FALSE(visitLoaderList(noData, LoaderImage::kBlock, GetParam(), seen));
  FakeMemory memory = image.build({u"C:\\a.exe"});
  EXPECT_FALSE(visitLoaderList(memory, 0, GetParam(), seen));
  EXPECT_FALSE(visitLoaderList(memory, 0x5000, GetParam(), seen));  // nothing mapped there
  EXPECT_TRUE(seen.paths.empty());
  // An empty list is read, and holds nothing.
  FakeMemory empty = image.build({});
  EXPECT_TRUE(visitLoaderList(empty, LoaderImage::kBlock, GetParam(), seen));
  EXPECT_TRUE(seen.paths.empty());
}

TEST_P(LoaderList, ABrokenLinkEndsTheReadAfterTheModulesBeforeIt) {
  FakeMemory unmapped = image.build({u"C:\\a.exe", u"C:\\b.dll", u"C:\\c.dll"});
  unmapped.regions.erase(image.recordAt(1));
  Collect seen;
  EXPECT_FALSE(visitLoaderList(unmapped, LoaderImage::kBlock, GetParam(), seen));
  EXPECT_EQ(seen.paths, std::vector<std::u16string>{u"C:\\a.exe"});

  FakeMemory nullLink = image.build({u"C:\\a.exe", u"C:\\b.dll"});
  std::memset(nullLink.regions[image.recordAt(0)].data(), 0, image.pointer());
  Collect second;
  EXPECT_FALSE(visitLoaderList(nullLink, LoaderImage::kBlock, GetParam(), second));
  EXPECT_EQ(second.paths.size(), 1u);
}

TEST_P(LoaderList, AListThatNeverReturnsToItsHeadEndsAfterTheMostEntries) {
  // The last record links to the second: a list changing under the reader.
  FakeMemory memory = image.build({u"C:\\a.exe", u"C:\\b.dll", u"C:\\c.dll"});
  std::vector<uint8_t>& last = memory.regions[image.recordAt(2)];
  for (uint32_t b = 0; b < image.pointer(); ++b) {
    last[b] = static_cast<uint8_t>(image.recordAt(1) >> (8 * b));
  }
  Collect seen;
  EXPECT_FALSE(visitLoaderList(memory, LoaderImage::kBlock, GetParam(), seen));
  EXPECT_EQ(seen.paths.size(), kMostLoaderEntries);
}

TEST_P(LoaderList, PathsAreCutToTheBufferAndUnreadableOnesPassedOver) {
  const std::u16string longPath = u"E:\\" + std::u16string(400, u'x') + u".dll";
  FakeMemory memory = image.build({longPath, u"C:\\gone.dll", u"E:\\odd.dll"});
  memory.regions.erase(0x900000 + 0x1000);  // the second path's text is not mapped
  // An odd byte count reads the whole units only.
  std::vector<uint8_t>& third = memory.regions[image.recordAt(2)];
  third[GetParam() == LoaderLayout::Bits64 ? 0x48 : 0x24] = 2 * 5 + 1;
  Collect seen;
  EXPECT_TRUE(visitLoaderList(memory, LoaderImage::kBlock, GetParam(), seen));
  ASSERT_EQ(seen.paths.size(), 2u);
  EXPECT_EQ(seen.paths[0], longPath.substr(0, kBlockerPathUnits - 1));
  EXPECT_EQ(seen.paths[1], u"E:\\od");
}

}  // namespace
}  // namespace tarnwick
