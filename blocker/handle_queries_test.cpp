#include "blocker/handle_queries.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>

#include "blocker/blocker_fakes_test.h"

namespace tarnwick {
namespace {

using fakes::FakeObject;
using fakes::FakeWorld;

class Snapshot : public ::testing::Test {
 protected:
  void fillTable(size_t entries) {
    for (size_t i = 0; i < entries; ++i)
      world.table.push_back(HandleEntry{4 * (1 + i / 50), 4 * (i + 1)});
  }
  HandleTableView view() const {
    return HandleTableView(slot.data, slot.filled, handleTableLayout(slot.format, sizeof(void*)));
  }
  void TearDown() override {
    if (slot.data != nullptr) world.queries.releaseBlock(slot.data, slot.size);
    EXPECT_TRUE(world.liveBlocks.empty()) << "a block was left behind";
    EXPECT_EQ(world.badReleases, 0);
  }
  FakeWorld world;
  HandleSnapshot slot;
};

TEST_F(Snapshot, AsksForTheExtendedTableAndRecordsTheBytesFilled) {
  fillTable(100);
  ASSERT_TRUE(takeHandleSnapshot(world.queries, slot, 0));
  EXPECT_EQ(world.tableQueryClasses, std::vector<uint32_t>{64});
  EXPECT_EQ(slot.format, HandleTableFormat::Extended);
  EXPECT_EQ(slot.filled, 2 * sizeof(void*) + 100 * (3 * sizeof(void*) + 16));
  EXPECT_EQ(view().size(), 100u);
}

TEST_F(Snapshot, FallsBackToTheCompactTableOnlyWhereTheExtendedOneIsRefused) {
  fillTable(10);
  world.refuseExtended = true;
  ASSERT_TRUE(takeHandleSnapshot(world.queries, slot, 0));
  EXPECT_EQ(world.tableQueryClasses, (std::vector<uint32_t>{64, 16}));
  EXPECT_EQ(slot.format, HandleTableFormat::Compact);
  EXPECT_EQ(view().size(), 10u);
  EXPECT_EQ(view().entry(9).handleValue, 40u);
}

TEST_F(Snapshot, FailsWhenBothTablesAreRefused) {
  world.refuseExtended = world.refuseCompact = true;
  EXPECT_FALSE(takeHandleSnapshot(world.queries, slot, 0));
  EXPECT_EQ(slot.data, nullptr);
}

TEST_F(Snapshot, GrowsTheBufferWhenTheSystemReportsNoSize) {
  fillTable(20000);  // 800 KB in the extended form: more than the first buffer
  world.reportsNoSizeForSmallBuffers = true;
  ASSERT_TRUE(takeHandleSnapshot(world.queries, slot, 0));
  EXPECT_EQ(view().size(), 20000u);
  EXPECT_GT(world.tableQueryClasses.size(), 1u);
}

TEST_F(Snapshot, RetriesWhenTheTableGrowsBetweenSizeAndQuery) {
  fillTable(3000);
  world.growthPerQuery = 5000;  // each look finds the table grown past the size it reported
  ASSERT_TRUE(takeHandleSnapshot(world.queries, slot, 0));
  EXPECT_GE(view().size(), 3000u);
  EXPECT_LE(world.tableQueryClasses.size(), static_cast<size_t>(kSnapshotAttempts));
}

TEST_F(Snapshot, GivesUpAfterABoundedNumberOfAttempts) {
  fillTable(3000);
  world.growthPerQuery = 2000000;  // outgrows every buffer
  EXPECT_FALSE(takeHandleSnapshot(world.queries, slot, 0));
  EXPECT_LE(world.tableQueryClasses.size(), static_cast<size_t>(kSnapshotAttempts));
  EXPECT_EQ(slot.data, nullptr);
}

TEST_F(Snapshot, StopsRetryingWhenItsTimeIsUsedUp) {
  fillTable(3000);
  world.growthPerQuery = 100000;
  world.queryCostMs = 300;
  world.ownClock = 1000;
  EXPECT_FALSE(takeHandleSnapshot(world.queries, slot, 1000));
  // 0 ms: first look; 300 ms: second; at 600 ms the budget of 500 ms is gone.
  EXPECT_EQ(world.tableQueryClasses.size(), 2u);
  EXPECT_LT(world.ownClock - 1000, 1000u);
}

TEST_F(Snapshot, KeepsItsBlockInTheSlotWhileTheSystemFillsIt) {
  // A worker terminated in the middle of the query leaves the block where the
  // requester releases it.
  fillTable(10);
  void* seen = nullptr;
  uint8_t* inSlot = nullptr;
  world.duringTableQuery = [&](void* buffer) {
    seen = buffer;
    inSlot = slot.data;
  };
  ASSERT_TRUE(takeHandleSnapshot(world.queries, slot, 0));
  EXPECT_EQ(seen, inSlot);
}

TEST_F(Snapshot, FailsWithoutMemory) {
  world.failAllocations = true;
  EXPECT_FALSE(takeHandleSnapshot(world.queries, slot, 0));
  EXPECT_EQ(slot.data, nullptr);
}

class FileNames : public ::testing::Test {
 protected:
  // Names the object through a duplicate of handle (1, value), as the walk would.
  bool name(const FakeObject& object) {
    world.addProcess(1, u"C:\\p.exe");
    world.objects[{1, 4}] = object;
    const uintptr_t process = world.platform.openProcess(1);
    const uintptr_t dup = world.platform.duplicateHandle(process, 4);
    buffer[0] = 0;
    return nameFileHandle(world.queries, dup, buffer);
  }
  FakeWorld world;
  char16_t buffer[kNameUnits];
};

TEST_F(FileNames, NamesAFile) {
  ASSERT_TRUE(name(FakeObject{u"File", u"\\Device\\HarddiskVolume2\\dir\\f.txt"}));
  EXPECT_EQ(std::u16string(buffer), u"\\Device\\HarddiskVolume2\\dir\\f.txt");
}

TEST_F(FileNames, OnlyObjectsOfTypeFileAreNamed) {
  for (const char16_t* type : {u"Event", u"Key", u"Section", u"file", u"Fil", u"FileX", u""}) {
    EXPECT_FALSE(name(FakeObject{type, u"\\Device\\HarddiskVolume2\\x"}))
        << std::u16string(type).size();
  }
  EXPECT_EQ(world.nameQueries, 0);
}

TEST_F(FileNames, APipeIsNeverAskedForItsName) {
  FakeObject pipe{u"File", u"\\Device\\NamedPipe\\x"};
  pipe.pipe = true;
  EXPECT_FALSE(name(pipe));
  EXPECT_EQ(world.nameQueries, 0);
}

TEST_F(FileNames, ANameLongerThanTheQueryBufferIsNotReported) {
  const size_t room =
      (kNameQueryBytes - 2 * sizeof(void*)) / 2 - 1;  // units that fit with the terminator
  std::u16string fits = u"\\Device\\HarddiskVolume2\\";
  fits += std::u16string(room - fits.size(), u'a');
  EXPECT_TRUE(name(FakeObject{u"File", fits}));
  EXPECT_EQ(std::u16string(buffer), fits);
  EXPECT_FALSE(name(FakeObject{u"File", fits + u"b"}));
}

TEST(CountedText, AcceptsOnlyTextInsideTheBlock) {
  alignas(8) uint8_t block[64] = {};
  char16_t text[16];
  auto describe = [&](uint16_t length, const void* at) {
    std::memcpy(block, &length, 2);
    std::memcpy(block + sizeof(void*), &at, sizeof at);
  };
  const size_t d = 2 * sizeof(void*);
  std::memcpy(block + d, u"File", 10);
  describe(8, block + d);
  ASSERT_TRUE(readCountedText(block, sizeof block, text, 16));
  EXPECT_EQ(std::u16string(text), u"File");
  describe(8, block + sizeof block - 6);  // runs past the end
  EXPECT_FALSE(readCountedText(block, sizeof block, text, 16));
  describe(8, block + sizeof block - 8);  // ends exactly at the end
  EXPECT_TRUE(readCountedText(block, sizeof block, text, 16));
  describe(8, block);  // over its own descriptor
  EXPECT_FALSE(readCountedText(block, sizeof block, text, 16));
  describe(8, nullptr);
  EXPECT_FALSE(readCountedText(block, sizeof block, text, 16));
  describe(0, nullptr);  // an empty name has no text
  EXPECT_TRUE(readCountedText(block, sizeof block, text, 16));
  EXPECT_EQ(text[0], 0);
  describe(32, block + d);  // 16 units: no room for the terminator
  EXPECT_FALSE(readCountedText(block, sizeof block, text, 16));
  EXPECT_FALSE(readCountedText(block, d - 1, text, 16));
}

TEST(CountedText, RandomDescriptorsAreReadOnlyInsideTheBlock) {
  std::mt19937 random(77);
  for (int round = 0; round < 20000; ++round) {
    const size_t len = random() % 96;
    std::unique_ptr<uint8_t[]> block(new uint8_t[len ? len : 1]);
    for (size_t i = 0; i < len; ++i) block[i] = static_cast<uint8_t>(random());
    if (len >= 2 * sizeof(void*)) {
      // A pointer somewhere around the block, often just outside it.
      const ptrdiff_t offset = static_cast<ptrdiff_t>(random() % (len + 64)) - 32;
      const uintptr_t at = reinterpret_cast<uintptr_t>(block.get()) + offset;
      std::memcpy(block.get() + sizeof(void*), &at, sizeof at);
    }
    char16_t text[kNameUnits];
    if (readCountedText(block.get(), len, text, kNameUnits)) {
      EXPECT_LE(std::char_traits<char16_t>::length(text), len / 2);
    }
  }
}

}  // namespace
}  // namespace tarnwick
