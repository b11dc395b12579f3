#include "blocker/blocker_search.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "blocker/blocker_fakes_test.h"
#include "blocker/drive_path.h"

namespace tarnwick {
namespace {

using fakes::FakeObject;
using fakes::FakeWorkerThread;
using fakes::FakeWorld;
using fakes::kForever;

constexpr char16_t kVolume[] = u"\\Device\\HarddiskVolume1";
const std::u16string kOnE = u"\\Device\\HarddiskVolume1\\";

// The search over the real worker protocol, with the system and the worker
// thread simulated.
class Search : public ::testing::Test {
 protected:
  Search() {
    world.clock = &threads.now;
    threads.costOf = [this](const WorkerMessage& m) { return world.costOf(m); };
    world.devices[u"E:"] = kVolume;
    world.devices[u"F:"] = u"\\Device\\HarddiskVolume10";
  }
  void TearDown() override {
    EXPECT_FALSE(threads.alive()) << "the worker outlived the search";
    EXPECT_TRUE(world.openHandles.empty()) << "a process or duplicate was left open";
    EXPECT_TRUE(world.liveBlocks.empty()) << "the snapshot was not released";
    EXPECT_EQ(world.badCloses, 0);
    // At most one of the two findings.
    EXPECT_FALSE(found.runsFromDrive && found.holdsOpenItem);
  }
  bool search(char16_t letter = u'E') { return findBlocker(letter, found, worker, world); }
  std::u16string openPath() const { return found.openPath; }
  std::u16string image() const { return found.holderImage; }
  std::vector<uint32_t> duplicatedPids() const {
    std::vector<uint32_t> pids;
    for (auto& d : world.duplicated) pids.push_back(static_cast<uint32_t>(d.first));
    return pids;
  }

  FakeWorld world;
  FakeWorkerThread threads;
  QueryWorker worker{threads, world};
  BlockerFindings found;
};

TEST_F(Search, FindsAProcessHoldingAFileOnTheDrive) {
  world.addProcess(100, u"C:\\tools\\editor.exe");
  world.addFile(100, 4, u"\\Device\\HarddiskVolume3\\elsewhere.txt");
  world.addFile(100, 8, kOnE + u"Photos\\2007\\a.jpg", u"E:\\Photos\\2007\\a.jpg");
  EXPECT_TRUE(search());
  EXPECT_TRUE(found.holdsOpenItem);
  EXPECT_FALSE(found.runsFromDrive);
  EXPECT_EQ(found.holderPid, 100u);
  EXPECT_EQ(image(), u"C:\\tools\\editor.exe");
  EXPECT_EQ(openPath(), u"E:\\Photos\\2007\\a.jpg");
}

TEST_F(Search, TheFirstProcessWithAFindingWins) {
  world.addProcess(200, u"C:\\a.exe");
  world.addProcess(100, u"C:\\b.exe");
  world.addFile(200, 4, kOnE + u"first.txt", u"E:\\first.txt");
  world.addFile(100, 4, kOnE + u"second.txt", u"E:\\second.txt");
  EXPECT_TRUE(search());
  EXPECT_EQ(found.holderPid, 200u);
  EXPECT_EQ(openPath(), u"E:\\first.txt");
  EXPECT_EQ(world.openedProcesses, std::vector<uint32_t>{200});
}

TEST_F(Search, TheExecutableCheckComesBeforeTheHandles) {
  world.addProcess(100, u"E:\\portable\\app.exe");
  world.addFile(100, 4, kOnE + u"data.txt", u"E:\\data.txt");
  EXPECT_TRUE(search());
  EXPECT_TRUE(found.runsFromDrive);
  EXPECT_FALSE(found.holdsOpenItem);
  EXPECT_EQ(found.holderPid, 100u);
  EXPECT_EQ(image(), u"E:\\portable\\app.exe");
  EXPECT_EQ(openPath(), u"");
  EXPECT_TRUE(world.duplicated.empty());
}

TEST_F(Search, TheFirstFileWinsAndALaterFileBeatsAFolder) {
  world.addProcess(100, u"C:\\a.exe");
  world.addFile(100, 4, kOnE + u"dir", u"E:\\dir", 0x10);
  world.addFile(100, 8, kOnE + u"dir\\one.txt", u"E:\\dir\\one.txt");
  world.addFile(100, 12, kOnE + u"dir\\two.txt", u"E:\\dir\\two.txt");
  EXPECT_TRUE(search());
  EXPECT_EQ(openPath(), u"E:\\dir\\one.txt");
  EXPECT_EQ(world.duplicated.size(), 2u);
}

TEST_F(Search, TheLastFolderWinsAndTheWalkStopsAtTheNextProcess) {
  world.addProcess(100, u"C:\\a.exe");
  world.addProcess(200, u"C:\\b.exe");
  world.addFile(100, 4, kOnE + u"one", u"E:\\one", 0x10);
  world.addFile(100, 8, kOnE + u"two", u"E:\\two", 0x10);
  world.addFile(100, 12, u"\\Device\\HarddiskVolume3\\x.txt");
  world.addFile(200, 4, kOnE + u"file.txt", u"E:\\file.txt");
  EXPECT_TRUE(search());
  EXPECT_TRUE(found.holdsOpenItem);
  EXPECT_EQ(found.holderPid, 100u);
  EXPECT_EQ(image(), u"C:\\a.exe");
  EXPECT_EQ(openPath(), u"E:\\two");
  // The second process is never opened, let alone examined.
  EXPECT_EQ(world.openedProcesses, std::vector<uint32_t>{100});
  EXPECT_EQ(duplicatedPids(), (std::vector<uint32_t>{100, 100, 100}));
}

TEST_F(Search, TheRootFolderIsTheLetterAloneAndCountsAsAFolder) {
  world.addProcess(100, u"C:\\a.exe");
  world.addFile(100, 4, kOnE, u"E:\\", 0x10);
  world.addHandle(100, 8, FakeObject{u"File", kVolume});  // the volume itself
  EXPECT_TRUE(search());
  EXPECT_EQ(openPath(), u"E:\\");
  EXPECT_EQ(world.duplicated.size(), 2u);  // the walk went on after the root
}

TEST_F(Search, APathWhoseAttributesCannotBeReadCountsAsAFolder) {
  world.addProcess(100, u"C:\\a.exe");
  world.addFile(100, 4, kOnE + u"gone.txt");  // no attributes known
  world.addFile(100, 8, kOnE + u"also-gone.txt");
  EXPECT_TRUE(search());
  EXPECT_EQ(openPath(), u"E:\\also-gone.txt");
}

TEST_F(Search, TheVolumeAndOtherVolumesWithTheSamePrefixNeverMatch) {
  world.addProcess(100, u"C:\\a.exe");
  world.addHandle(100, 4, FakeObject{u"File", kVolume});
  world.addFile(100, 8, u"\\Device\\HarddiskVolume10\\x.txt", u"E:\\x.txt");
  world.addFile(100, 12, u"\\Device\\HarddiskVolume1x.txt", u"E:\\x.txt");
  world.addFile(100, 16, u"\\DEVICE\\HarddiskVolume1\\x.txt", u"E:\\x.txt");  // compared case and all
  EXPECT_FALSE(search());
  EXPECT_FALSE(found.holdsOpenItem);
  EXPECT_EQ(openPath(), u"");
  // Volume 10 is found when it is the drive asked for, and volume 1 is not.
  EXPECT_TRUE(search(u'F'));
  EXPECT_EQ(openPath(), u"F:\\x.txt");
}

TEST_F(Search, ALowerCaseLetterIsLookedUpUnchangedAndReportedUpperCase) {
  world.addProcess(100, u"C:\\a.exe");
  world.addFile(100, 4, kOnE + u"f.txt", u"E:\\f.txt");
  EXPECT_TRUE(search(u'e'));
  EXPECT_EQ(world.dosNameQueries, std::vector<std::u16string>{u"e:"});
  EXPECT_EQ(openPath(), u"E:\\f.txt");
  // The executable check upper-cases the image's first unit too.
  world.processes[100].image = u"e:\\app.exe";
  EXPECT_TRUE(search(u'e'));
  EXPECT_TRUE(found.runsFromDrive);
}

TEST_F(Search, NamesInTheDosDeviceFormNameTheDriveToo) {
  world.addProcess(100, u"C:\\a.exe");
  world.addHandle(100, 4, FakeObject{u"File", u"\\??\\E:"});       // the volume
  world.addFile(100, 8, u"\\??\\F:\\x.txt", u"E:\\x.txt");          // another drive
  world.addFile(100, 12, u"\\??\\EE:\\x.txt", u"E:\\x.txt");
  world.addFile(100, 16, u"\\??\\e:\\dir", u"E:\\dir", 0x10);
  world.addFile(100, 20, u"\\??\\E:\\dir\\file.txt", u"E:\\dir\\file.txt");
  EXPECT_TRUE(search());
  EXPECT_EQ(openPath(), u"E:\\dir\\file.txt");
  world.table.pop_back();
  EXPECT_TRUE(search());
  EXPECT_EQ(openPath(), u"E:\\dir");
}

TEST_F(Search, AProcessThatCannotBeOpenedIsSkippedWithAllItsHandles) {
  world.addProcess(100, u"C:\\locked.exe");
  world.processes[100].openable = false;
  world.addProcess(200, u"C:\\b.exe");
  world.addFile(100, 4, kOnE + u"a.txt", u"E:\\a.txt");
  world.addFile(100, 8, kOnE + u"b.txt", u"E:\\b.txt");
  world.addFile(200, 4, kOnE + u"c.txt", u"E:\\c.txt");
  EXPECT_TRUE(search());
  EXPECT_EQ(found.holderPid, 200u);
  EXPECT_EQ(world.openedProcesses, (std::vector<uint32_t>{100, 200}));
  EXPECT_EQ(duplicatedPids(), std::vector<uint32_t>{200});
}

TEST_F(Search, AnUnreadableExecutableLeavesTheImageEmptyAndTheHandlesAreExaminedAllTheSame) {
  world.addProcess(100, u"E:\\hidden.exe");
  world.processes[100].imageReadable = false;
  world.addFile(100, 4, kOnE + u"a.txt", u"E:\\a.txt");
  EXPECT_TRUE(search());
  EXPECT_TRUE(found.holdsOpenItem);
  EXPECT_EQ(image(), u"");
  EXPECT_EQ(found.holderPid, 100u);
}

TEST_F(Search, NothingFoundLeavesTheLastOpenedProcessAndNoPath) {
  world.addProcess(100, u"C:\\a.exe");
  world.addProcess(200, u"C:\\b.exe");
  world.addFile(100, 4, u"\\Device\\HarddiskVolume3\\x");
  world.addFile(200, 4, u"\\Device\\HarddiskVolume3\\y");
  EXPECT_FALSE(search());
  EXPECT_FALSE(found.runsFromDrive);
  EXPECT_FALSE(found.holdsOpenItem);
  EXPECT_EQ(openPath(), u"");
  EXPECT_EQ(found.holderPid, 200u);
  EXPECT_EQ(image(), u"C:\\b.exe");
}

TEST_F(Search, ProcessIdsBeyond16BitsOpenTheRightProcess) {
  // The extended table carries the whole id; a 16-bit id would open 70000 - 65536.
  world.addProcess(4464, u"C:\\innocent.exe");
  world.addProcess(70000, u"C:\\holder.exe");
  world.addFile(70000, 0x10004, kOnE + u"a.txt", u"E:\\a.txt");
  world.addFile(4464, 4, kOnE + u"b.txt", u"E:\\b.txt");
  EXPECT_TRUE(search());
  EXPECT_EQ(found.holderPid, 70000u);
  EXPECT_EQ(openPath(), u"E:\\a.txt");
  EXPECT_EQ(world.openedProcesses, std::vector<uint32_t>{70000});
  EXPECT_EQ(world.duplicated.front().second, 0x10004u);
}

TEST_F(Search, WorksOnTheCompactTableWhereTheExtendedOneIsRefused) {
  world.refuseExtended = true;
  world.addProcess(100, u"C:\\a.exe");
  world.addFile(100, 4, kOnE + u"a.txt", u"E:\\a.txt");
  EXPECT_TRUE(search());
  EXPECT_EQ(world.tableQueryClasses, (std::vector<uint32_t>{64, 16}));
}

TEST_F(Search, AHungNameDoesNotStopTheSearch) {
  world.addProcess(100, u"C:\\a.exe");
  FakeObject hung{u"File", kOnE + u"never.txt"};
  hung.answerMs = kForever;
  world.addHandle(100, 4, hung);
  world.addHandle(100, 8, hung);
  world.addFile(100, 12, kOnE + u"a.txt", u"E:\\a.txt");
  EXPECT_TRUE(search());
  EXPECT_EQ(openPath(), u"E:\\a.txt");
  EXPECT_EQ(threads.terminated, 2);
  EXPECT_EQ(threads.created, 3);
  EXPECT_EQ(threads.now, 2u * 200);  // each hung name costs its wait and the grace
}

TEST_F(Search, EndsWithNothingWhenAStepBeforeTheWalkFails) {
  world.addProcess(100, u"C:\\a.exe");
  world.addFile(100, 4, kOnE + u"a.txt", u"E:\\a.txt");
  EXPECT_FALSE(search(u'Q'));  // no device behind the letter
  EXPECT_EQ(threads.created, 0);
  threads.refuseCreate = true;
  EXPECT_FALSE(search());
  threads.refuseCreate = false;
  world.refuseExtended = world.refuseCompact = true;
  EXPECT_FALSE(search());
  EXPECT_TRUE(world.openedProcesses.empty());
  world.refuseExtended = world.refuseCompact = false;
  world.table.clear();
  EXPECT_FALSE(search());  // an empty table
}

TEST(DrivePath, BuildsThePrefixOnlyFromAUsableDeviceName) {
  DevicePrefix prefix;
  char16_t name[kDeviceNameUnits] = {};
  EXPECT_FALSE(makeDevicePrefix(name, prefix));  // empty: every name would match
  for (auto& c : name) c = u'x';
  EXPECT_FALSE(makeDevicePrefix(name, prefix));  // no terminator
  name[kDeviceNameUnits - 1] = 0;
  ASSERT_TRUE(makeDevicePrefix(name, prefix));
  EXPECT_EQ(prefix.length, kDeviceNameUnits);
  EXPECT_EQ(prefix.units[kDeviceNameUnits - 1], u'\\');
}

}  // namespace
}  // namespace tarnwick
