// Both ways of asking for names find the same: thousands of random worlds,
// each searched once one handle per request and once with handles passed
// over by type number and asked for several per request.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "blocker/blocker_fakes_test.h"
#include "blocker/blocker_search.h"

namespace tarnwick {
namespace {

using fakes::FakeObject;
using fakes::FakeProcess;
using fakes::FakeWorkerThread;
using fakes::FakeWorld;
using fakes::kForever;

const std::u16string kOnE = u"\\Device\\HarddiskVolume1\\";

// Builds the same random world for the same seed.
void buildWorld(uint32_t seed, FakeWorld& world, FakeWorkerThread& threads) {
  std::mt19937 rng(seed);
  auto chance = [&rng](int percent) { return static_cast<int>(rng() % 100) < percent; };
  world.devices[u"E:"] = u"\\Device\\HarddiskVolume1";
  world.refuseExtended = chance(20);  // the compact table, type numbers of one byte
  threads.startupMs = rng() % 4;
  const char16_t* const otherTypes[] = {u"Event",  u"Key",   u"Section",
                                        u"Thread", u"Mutex", u"ALPC Port"};
  // In some worlds nothing but the processes' executables and modules can be found.
  const bool filesOnDrive = chance(50);
  const int processCount = 1 + static_cast<int>(rng() % 12);
  uint32_t pid = 4;
  for (int p = 0; p < processCount; ++p) {
    pid += 4 * (1 + rng() % 50);
    std::u16string image = chance(3) ? u"E:\\tools\\app" : u"C:\\Program Files\\app";
    image += std::u16string(1, static_cast<char16_t>(u'0' + p)) + u".exe";
    world.addProcess(pid, image);
    FakeProcess& process = world.processes[pid];
    process.openable = chance(90);
    process.imageReadable = chance(85);
    process.imageNameReadable = chance(50);
    if (chance(2)) process.modules.push_back(u"E:\\lib\\plugin.dll");
    process.modules.push_back(u"C:\\Windows\\system32\\kernel32.dll");
    const int handles = static_cast<int>(rng() % 120);
    for (int h = 0; h < handles; ++h) {
      const uint64_t value = 4 * (1 + static_cast<uint64_t>(h));
      FakeObject object;
      if (chance(88)) {
        object.type = otherTypes[rng() % 6];
      } else {
        const uint32_t kind = rng() % 24;
        switch (filesOnDrive || kind == 4 || kind == 5 || kind == 6 ? kind : 9) {
          case 0:
            object.name = kOnE + u"dir" + std::u16string(1, char16_t(u'0' + rng() % 3));
            world.attributes[u"E:\\" + object.name.substr(kOnE.size())] = 0x10;
            break;
          case 1:
            object.name = kOnE + u"file" + std::u16string(1, char16_t(u'0' + rng() % 3)) + u".txt";
            world.attributes[u"E:\\" + object.name.substr(kOnE.size())] = 0x20;
            break;
          case 2: object.name = kOnE + u"gone.txt"; break;  // attributes unreadable: a folder
          case 3:
            object.name = kOnE;
            world.attributes[u"E:\\"] = 0x10;
            break;
          case 4: object.name = u"\\Device\\HarddiskVolume1"; break;
          case 5: object.name = u"\\Device\\HarddiskVolume10\\x.txt"; break;
          case 6:
            object.name = u"\\Device\\NamedPipe\\p";
            object.pipe = true;
            break;
          case 7: object.name = kOnE + std::u16string(300, u'n'); break;  // too long to be named
          case 8:
            object.name = u"\\??\\E:\\dos.txt";
            world.attributes[u"E:\\dos.txt"] = 0x20;
            break;
          default: object.name = u"\\Device\\HarddiskVolume3\\Users\\me\\x.dat"; break;
        }
      }
      const int timing = static_cast<int>(rng() % 100);
      if (timing < 2)
        object.answerMs = kForever;
      else if (timing < 5)
        object.answerMs = 100 + rng() % 150;  // hung, or answered within the grace
      else if (timing < 15)
        object.answerMs = 1 + rng() % 99;
      if (chance(3)) {
        // An entry whose object is gone by the time it is duplicated.
        world.table.push_back(HandleEntry{pid, value, world.typeNumberOf(object.type)});
      } else {
        world.addHandle(pid, value, object);
      }
    }
  }
}

struct Outcome {
  bool result;
  BlockerFindings findings;
  uint64_t elapsedMs;
  size_t duplicates;
};

Outcome searchWorld(uint32_t seed, WalkMode mode) {
  FakeWorld world;
  FakeWorkerThread threads;
  fakes::shareClock(world, threads);
  buildWorld(seed, world, threads);
  QueryWorker worker(threads, world.queries);
  SearchOptions options;
  options.mode = mode;
  options.limitMs = 0;
  Outcome o{};
  o.result = findBlocker(u'E', o.findings, worker, world.platform, options);
  o.elapsedMs = threads.now;
  o.duplicates = world.duplicated.size();
  EXPECT_FALSE(threads.alive());
  EXPECT_TRUE(world.openHandles.empty());
  EXPECT_TRUE(world.liveBlocks.empty());
  return o;
}

TEST(WalkModes, FindTheSameInThousandsOfRandomWorlds) {
  size_t found = 0, runs = 0, folders = 0, plainDuplicates = 0, batchedDuplicates = 0;
  for (uint32_t seed = 1; seed <= 3000; ++seed) {
    const Outcome plain = searchWorld(seed, WalkMode::OneByOne);
    const Outcome batched = searchWorld(seed, WalkMode::Batched);
    SCOPED_TRACE(::testing::Message() << "seed " << seed);
    ASSERT_EQ(plain.result, batched.result);
    ASSERT_EQ(plain.findings.runsFromDrive, batched.findings.runsFromDrive);
    ASSERT_EQ(plain.findings.holdsOpenItem, batched.findings.holdsOpenItem);
    ASSERT_EQ(plain.findings.holderPid, batched.findings.holderPid);
    ASSERT_EQ(plain.findings.holderStartTime, batched.findings.holderStartTime);
    ASSERT_EQ(std::u16string(plain.findings.holderImage),
              std::u16string(batched.findings.holderImage));
    ASSERT_EQ(std::u16string(plain.findings.openPath), std::u16string(batched.findings.openPath));
    found += plain.result;
    runs += plain.findings.runsFromDrive;
    folders += plain.findings.holdsOpenItem && plain.findings.openPath[3] != u'f';
    plainDuplicates += plain.duplicates;
    batchedDuplicates += batched.duplicates;
  }
  // The worlds cover every kind of outcome, and passing over saves work.
  EXPECT_GT(found, 1000u);
  EXPECT_LT(found, 2500u);
  EXPECT_GT(runs, 100u);
  EXPECT_GT(folders, 100u);
  EXPECT_LT(batchedDuplicates * 3, plainDuplicates);
}

}  // namespace
}  // namespace tarnwick
