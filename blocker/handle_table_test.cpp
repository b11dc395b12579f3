#include "blocker/handle_table.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <random>
#include <vector>

#include "blocker/blocker_fakes_test.h"

namespace tarnwick {
namespace {

using fakes::encodeHandleTable;

constexpr HandleTableFormat kFormats[] = {HandleTableFormat::Extended, HandleTableFormat::Compact};
constexpr uint32_t kPointerSizes[] = {4, 8};

// Copies bytes into a block of exactly their size, so that any read past the
// end touches memory the sanitizer knows is outside.
std::unique_ptr<uint8_t[]> exactCopy(const std::vector<uint8_t>& bytes) {
  std::unique_ptr<uint8_t[]> copy(new uint8_t[bytes.size() ? bytes.size() : 1]);
  if (!bytes.empty()) std::memcpy(copy.get(), bytes.data(), bytes.size());
  return copy;
}

TEST(HandleTableLayout, MatchesTheSystemsRecordsForEachPointerSize) {
  // Extended: pointer-sized count and reserved word; entries of object,
  // process id, handle value, then 16 bytes of access, indexes and attributes.
  const HandleTableLayout x64 = handleTableLayout(HandleTableFormat::Extended, 8);
  EXPECT_EQ(x64.countBytes, 8u);
  EXPECT_EQ(x64.headerBytes, 16u);
  EXPECT_EQ(x64.entryBytes, 40u);
  EXPECT_EQ(x64.pidOffset, 8u);
  EXPECT_EQ(x64.pidBytes, 8u);
  EXPECT_EQ(x64.handleOffset, 16u);
  EXPECT_EQ(x64.handleBytes, 8u);
  const HandleTableLayout x86 = handleTableLayout(HandleTableFormat::Extended, 4);
  EXPECT_EQ(x86.headerBytes, 8u);
  EXPECT_EQ(x86.entryBytes, 28u);
  EXPECT_EQ(x86.pidOffset, 4u);
  EXPECT_EQ(x86.handleOffset, 8u);
  EXPECT_EQ(x86.handleBytes, 4u);
  // Compact: a 32-bit count, 16-byte entries on 32-bit systems, 24-byte
  // entries aligned to 8 on 64-bit ones (as seen under Wine).
  const HandleTableLayout c86 = handleTableLayout(HandleTableFormat::Compact, 4);
  EXPECT_EQ(c86.headerBytes, 4u);
  EXPECT_EQ(c86.entryBytes, 16u);
  EXPECT_EQ(c86.handleOffset, 6u);
  EXPECT_EQ(c86.handleBytes, 2u);
  const HandleTableLayout c64 = handleTableLayout(HandleTableFormat::Compact, 8);
  EXPECT_EQ(c64.headerBytes, 8u);
  EXPECT_EQ(c64.entryBytes, 24u);
}

TEST(HandleTableView, ReadsLargeProcessIdsAndHandleValuesFromTheExtendedTable) {
  const std::vector<HandleEntry> entries = {{4, 0x10}, {70000, 0x1A4}, {0x12345678, 0xFFFFC}};
  for (uint32_t p : kPointerSizes) {
    const auto bytes = encodeHandleTable(HandleTableFormat::Extended, p, entries);
    const HandleTableView view(bytes.data(), bytes.size(),
                               handleTableLayout(HandleTableFormat::Extended, p));
    ASSERT_EQ(view.size(), 3u);
    EXPECT_EQ(view.entry(1).processId, 70000u);
    EXPECT_EQ(view.entry(2).processId, 0x12345678u);
    EXPECT_EQ(view.entry(2).handleValue, 0xFFFFCu);
  }
  const std::vector<HandleEntry> wide = {{0x100000008ull, 0x200000010ull}};
  const auto bytes = encodeHandleTable(HandleTableFormat::Extended, 8, wide);
  const HandleTableView view(bytes.data(), bytes.size(),
                             handleTableLayout(HandleTableFormat::Extended, 8));
  EXPECT_EQ(view.entry(0).processId, 0x100000008ull);
  EXPECT_EQ(view.entry(0).handleValue, 0x200000010ull);
}

TEST(HandleTableView, ReadsTheCompactTableAsTheSystemFillsIt) {
  const std::vector<HandleEntry> entries = {{0x20, 0x30}, {0x20, 0x34}, {0x44, 0xFFFC}};
  for (uint32_t p : kPointerSizes) {
    const auto bytes = encodeHandleTable(HandleTableFormat::Compact, p, entries);
    const HandleTableView view(bytes.data(), bytes.size(),
                               handleTableLayout(HandleTableFormat::Compact, p));
    ASSERT_EQ(view.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
      EXPECT_EQ(view.entry(i).processId, entries[i].processId);
      EXPECT_EQ(view.entry(i).handleValue, entries[i].handleValue);
    }
  }
}

TEST(HandleTableView, NeverCountsMoreEntriesThanTheFilledBytesHold) {
  const std::vector<HandleEntry> entries = {{8, 4}, {8, 8}, {12, 4}, {12, 8}, {16, 4}};
  for (HandleTableFormat f : kFormats) {
    for (uint32_t p : kPointerSizes) {
      const HandleTableLayout l = handleTableLayout(f, p);
      // A count that claims far more than the table holds, up to the largest value.
      for (uint64_t claimed : {uint64_t{6}, uint64_t{1} << 31, ~uint64_t{0}}) {
        const auto bytes = encodeHandleTable(f, p, entries, claimed);
        const HandleTableView view(bytes.data(), bytes.size(), l);
        EXPECT_EQ(view.size(), 5u);
      }
      // A count below what the bytes hold wins.
      const auto fewer = encodeHandleTable(f, p, entries, 2);
      EXPECT_EQ(HandleTableView(fewer.data(), fewer.size(), l).size(), 2u);
      // Every truncation: whole entries only, and the ones there read back unchanged.
      const auto full = encodeHandleTable(f, p, entries);
      for (size_t len = 0; len <= full.size(); ++len) {
        const std::vector<uint8_t> cut(full.begin(), full.begin() + len);
        auto exact = exactCopy(cut);
        const HandleTableView view(exact.get(), len, l);
        const size_t whole = len < l.headerBytes ? 0 : (len - l.headerBytes) / l.entryBytes;
        ASSERT_EQ(view.size(), whole) << "length " << len;
        for (size_t i = 0; i < view.size(); ++i) {
          EXPECT_EQ(view.entry(i).processId, entries[i].processId);
          EXPECT_EQ(view.entry(i).handleValue, entries[i].handleValue);
        }
      }
    }
  }
  EXPECT_EQ(HandleTableView(nullptr, 100, handleTableLayout(HandleTableFormat::Extended, 8)).size(),
            0u);
}

TEST(HandleTableView, RandomBuffersAreReadOnlyInsideTheirBytes) {
  std::mt19937 random(20240607);
  for (int round = 0; round < 20000; ++round) {
    const size_t len = random() % 400;
    std::vector<uint8_t> bytes(len);
    for (auto& b : bytes) b = static_cast<uint8_t>(random());
    // Half of the rounds carry a plausible small count, the rest random garbage.
    if (len >= 4 && random() % 2 == 0) {
      const uint32_t count = random() % 32;
      std::memcpy(bytes.data(), &count, 4);
    }
    auto exact = exactCopy(bytes);
    const HandleTableFormat f = kFormats[random() % 2];
    const uint32_t p = kPointerSizes[random() % 2];
    const HandleTableLayout l = handleTableLayout(f, p);
    const HandleTableView view(exact.get(), len, l);
    ASSERT_LE(l.headerBytes + view.size() * l.entryBytes,
              len < l.headerBytes ? l.headerBytes : len);
    uint64_t sum = 0;
    for (size_t i = 0; i < view.size(); ++i)
      sum += view.entry(i).processId + view.entry(i).handleValue;
    (void)sum;
  }
}

}  // namespace
}  // namespace tarnwick
