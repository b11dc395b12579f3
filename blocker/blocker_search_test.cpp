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

// A file on the drive whose name never comes.
FakeObject hungFile() {
  FakeObject hung{u"File", kOnE + u"never.txt"};
  hung.answerMs = kForever;
  return hung;
}

// The search over the real worker protocol, with the system and the worker
// thread simulated; every case runs with both ways of asking for names.
class Search : public ::testing::TestWithParam<WalkMode> {
 protected:
  Search() {
    fakes::shareClock(world, threads);
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
  bool search(char16_t letter = u'E') {
    options.mode = GetParam();
    return findBlocker(letter, found, worker, world.platform, options);
  }
  bool oneByOne() const { return GetParam() == WalkMode::OneByOne; }
  std::u16string openPath() const { return found.openPath; }
  std::u16string image() const { return found.holderImage; }
  std::vector<uint32_t> duplicatedPids() const {
    std::vector<uint32_t> pids;
    for (auto& d : world.duplicated) pids.push_back(static_cast<uint32_t>(d.first));
    return pids;
  }

  FakeWorld world;
  FakeWorkerThread threads;
  QueryWorker worker{threads, world.queries};
  BlockerFindings found;
  SearchOptions options;
};

INSTANTIATE_TEST_SUITE_P(Walks, Search, ::testing::Values(WalkMode::OneByOne, WalkMode::Batched),
                         [](const ::testing::TestParamInfo<WalkMode>& info) {
                           return info.param == WalkMode::OneByOne ? "OneByOne" : "Batched";
                         });

TEST_P(Search, FindsAProcessHoldingAFileOnTheDrive) {
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

TEST_P(Search, TheFirstProcessWithAFindingWins) {
  world.addProcess(200, u"C:\\a.exe");
  world.addProcess(100, u"C:\\b.exe");
  world.addFile(200, 4, kOnE + u"first.txt", u"E:\\first.txt");
  world.addFile(100, 4, kOnE + u"second.txt", u"E:\\second.txt");
  EXPECT_TRUE(search());
  EXPECT_EQ(found.holderPid, 200u);
  EXPECT_EQ(openPath(), u"E:\\first.txt");
  EXPECT_EQ(world.openedProcesses, std::vector<uint32_t>{200});
}

TEST_P(Search, TheExecutableCheckComesBeforeTheHandles) {
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

TEST_P(Search, TheFirstFileWinsAndALaterFileBeatsAFolder) {
  world.addProcess(100, u"C:\\a.exe");
  world.addFile(100, 4, kOnE + u"dir", u"E:\\dir", 0x10);
  world.addFile(100, 8, kOnE + u"dir\\one.txt", u"E:\\dir\\one.txt");
  world.addFile(100, 12, kOnE + u"dir\\two.txt", u"E:\\dir\\two.txt");
  EXPECT_TRUE(search());
  EXPECT_EQ(openPath(), u"E:\\dir\\one.txt");
  if (oneByOne()) {
    EXPECT_EQ(world.duplicated.size(), 2u);
  }
}

TEST_P(Search, TheLastFolderWinsAndTheWalkStopsAtTheNextProcess) {
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

TEST_P(Search, TheRootFolderIsTheLetterAloneAndCountsAsAFolder) {
  world.addProcess(100, u"C:\\a.exe");
  world.addFile(100, 4, kOnE, u"E:\\", 0x10);
  world.addHandle(100, 8, FakeObject{u"File", kVolume});  // the volume itself
  EXPECT_TRUE(search());
  EXPECT_EQ(openPath(), u"E:\\");
  EXPECT_EQ(world.duplicated.size(), 2u);  // the walk went on after the root
}

TEST_P(Search, APathWhoseAttributesCannotBeReadCountsAsAFolder) {
  world.addProcess(100, u"C:\\a.exe");
  world.addFile(100, 4, kOnE + u"gone.txt");  // no attributes known
  world.addFile(100, 8, kOnE + u"also-gone.txt");
  EXPECT_TRUE(search());
  EXPECT_EQ(openPath(), u"E:\\also-gone.txt");
}

TEST_P(Search, TheVolumeAndOtherVolumesWithTheSamePrefixNeverMatch) {
  world.addProcess(100, u"C:\\a.exe");
  world.addHandle(100, 4, FakeObject{u"File", kVolume});
  world.addFile(100, 8, u"\\Device\\HarddiskVolume10\\x.txt", u"E:\\x.txt");
  world.addFile(100, 12, u"\\Device\\HarddiskVolume1x.txt", u"E:\\x.txt");
  world.addFile(100, 16, u"\\DEVICE\\HarddiskVolume1\\x.txt",
                u"E:\\x.txt");  // compared case and all
  EXPECT_FALSE(search());
  EXPECT_FALSE(found.holdsOpenItem);
  EXPECT_EQ(openPath(), u"");
  // Volume 10 is found when it is the drive asked for, and volume 1 is not.
  EXPECT_TRUE(search(u'F'));
  EXPECT_EQ(openPath(), u"F:\\x.txt");
}

TEST_P(Search, ALowerCaseLetterIsLookedUpUnchangedAndReportedUpperCase) {
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

TEST_P(Search, NamesInTheDosDeviceFormNameTheDriveToo) {
  world.addProcess(100, u"C:\\a.exe");
  world.addHandle(100, 4, FakeObject{u"File", u"\\??\\E:"});  // the volume
  world.addFile(100, 8, u"\\??\\F:\\x.txt", u"E:\\x.txt");    // another drive
  world.addFile(100, 12, u"\\??\\EE:\\x.txt", u"E:\\x.txt");
  world.addFile(100, 16, u"\\??\\e:\\dir", u"E:\\dir", 0x10);
  world.addFile(100, 20, u"\\??\\E:\\dir\\file.txt", u"E:\\dir\\file.txt");
  EXPECT_TRUE(search());
  EXPECT_EQ(openPath(), u"E:\\dir\\file.txt");
  world.table.pop_back();
  EXPECT_TRUE(search());
  EXPECT_EQ(openPath(), u"E:\\dir");
}

TEST_P(Search, AProcessThatCannotBeOpenedIsSkippedWithAllItsHandles) {
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

TEST_P(Search, AnUnreadableExecutableLeavesTheImageEmptyAndTheHandlesAreExaminedAllTheSame) {
  world.addProcess(100, u"E:\\hidden.exe");
  world.processes[100].imageReadable = false;
  world.processes[100].imageNameReadable = false;
  world.addFile(100, 4, kOnE + u"a.txt", u"E:\\a.txt");
  EXPECT_TRUE(search());
  EXPECT_TRUE(found.holdsOpenItem);
  EXPECT_EQ(image(), u"");
  EXPECT_EQ(found.holderPid, 100u);
}

TEST_P(Search, NothingFoundLeavesTheLastOpenedProcessAndNoPath) {
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

TEST_P(Search, ProcessIdsBeyond16BitsOpenTheRightProcess) {
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

TEST_P(Search, WorksOnTheCompactTableWhereTheExtendedOneIsRefused) {
  world.refuseExtended = true;
  world.addProcess(100, u"C:\\a.exe");
  world.addFile(100, 4, kOnE + u"a.txt", u"E:\\a.txt");
  EXPECT_TRUE(search());
  EXPECT_EQ(world.tableQueryClasses, (std::vector<uint32_t>{64, 16}));
}

TEST_P(Search, AHungNameDoesNotStopTheSearch) {
  world.addProcess(100, u"C:\\a.exe");
  const FakeObject hung = hungFile();
  world.addHandle(100, 4, hung);
  world.addHandle(100, 8, hung);
  world.addFile(100, 12, kOnE + u"a.txt", u"E:\\a.txt");
  EXPECT_TRUE(search());
  EXPECT_EQ(openPath(), u"E:\\a.txt");
  EXPECT_EQ(threads.terminated, 2);
  EXPECT_EQ(threads.created, 3);
  EXPECT_EQ(threads.now, 2u * 200);  // each hung name costs its wait and the grace
}

TEST_P(Search, EndsWithNothingWhenAStepBeforeTheWalkFails) {
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

TEST_P(Search, AHungNameCostsAbout200msEvenInTheMiddleOfARequest) {
  world.addProcess(100, u"C:\\a.exe");
  world.addFile(100, 4, u"\\Device\\HarddiskVolume3\\x");  // teaches the type
  for (uint64_t h = 8; h < 40; h += 4) world.addFile(100, h, u"\\Device\\HarddiskVolume3\\y");
  const FakeObject hung = hungFile();
  world.addHandle(100, 40, hung);
  world.addFile(100, 44, kOnE + u"a.txt", u"E:\\a.txt");
  EXPECT_TRUE(search());
  EXPECT_EQ(openPath(), u"E:\\a.txt");
  EXPECT_EQ(threads.terminated, 1);
  EXPECT_EQ(threads.now, 200u);  // answers take no time here; the hung one its limit and the grace
}

TEST_P(Search, SlowAnswersWithinTheirOwnLimitAreNotTakenForHung) {
  world.addProcess(100, u"C:\\a.exe");
  for (uint64_t h = 4; h <= 40; h += 4) {
    FakeObject slow{u"File", u"\\Device\\HarddiskVolume3\\slow"};
    slow.answerMs = 90;  // ten of them take far longer than one limit
    world.addHandle(100, h, slow);
  }
  world.addFile(100, 44, kOnE + u"a.txt", u"E:\\a.txt");
  EXPECT_TRUE(search());
  EXPECT_EQ(openPath(), u"E:\\a.txt");
  EXPECT_EQ(threads.terminated, 0);
  EXPECT_EQ(threads.created, 1);
}

TEST_P(Search, ManyHungNamesEndTheSearchAtItsLimitWithWhatItFoundSoFar) {
  world.addProcess(100, u"C:\\a.exe");
  world.addFile(100, 4, kOnE + u"dir", u"E:\\dir", 0x10);
  const FakeObject hung = hungFile();
  for (uint64_t h = 8; h < 8 + 4 * 1000; h += 4) world.addHandle(100, h, hung);
  world.addFile(100, 5000, kOnE + u"late.txt", u"E:\\late.txt");
  EXPECT_TRUE(search());
  // The folder found before the limit is the answer, as at the end of the process.
  EXPECT_TRUE(found.holdsOpenItem);
  EXPECT_EQ(openPath(), u"E:\\dir");
  EXPECT_LE(threads.now, kSearchLimitMs);
  EXPECT_GE(threads.now, kSearchLimitMs - 250);
  // Without a limit the same search takes 200 ms a name, and finds the file.
  options.limitMs = 0;
  threads.now = 0;
  EXPECT_TRUE(search());
  EXPECT_EQ(openPath(), u"E:\\late.txt");
  EXPECT_EQ(threads.now, 1000u * 200);
}

TEST_P(Search, AWorkerThatCannotBeStartedEndsTheSearchWithinItsLimit) {
  world.addProcess(100, u"C:\\a.exe");
  world.addFile(100, 4, kOnE + u"a.txt", u"E:\\a.txt");
  threads.startupMs = 900;
  options.limitMs = 1500;  // room for the first start, not for the next
  const FakeObject hung = hungFile();
  world.table.clear();
  world.addHandle(100, 8, hung);
  world.addFile(100, 12, kOnE + u"a.txt", u"E:\\a.txt");
  EXPECT_FALSE(search());
  EXPECT_LE(threads.now, 1500u);
}

TEST_P(Search, AProcessWhoseWorkerCannotBeRestartedIsNotAskedFurther) {
  world.addProcess(100, u"C:\\a.exe");
  world.addProcess(200, u"C:\\b.exe");
  const FakeObject hung = hungFile();
  world.addFile(100, 4, u"\\Device\\HarddiskVolume3\\x");
  world.addHandle(100, 8, hung);
  for (uint64_t h = 12; h < 12 + 4 * 50; h += 4)
    world.addFile(100, h, kOnE + u"f.txt", u"E:\\f.txt");
  world.addFile(200, 4, kOnE + u"g.txt", u"E:\\g.txt");
  // From the hang on, no worker ever becomes ready again.
  threads.costOf = [this](const WorkerMessage& m) {
    const uint64_t cost = world.costOf(m);
    if (cost == kForever) threads.startupMs = kForever;
    return cost;
  };
  options.limitMs = 0;
  EXPECT_FALSE(search());
  // One start for the first handles, one failed restart for each process.
  EXPECT_EQ(threads.created, 3);
  EXPECT_EQ(threads.now, 200u + 2 * (1000 + 100));
}

TEST_P(Search, TheExecutableIsNamedFromTheSystemsRecordWhereTheModuleListCannotBeRead) {
  // A 64-bit process seen from a 32-bit build: no module list, but the image name.
  world.addProcess(100, u"C:\\Program Files\\Editor\\editor64.exe");
  world.processes[100].imageReadable = false;
  world.addFile(100, 4, kOnE + u"a.txt", u"E:\\a.txt");
  EXPECT_TRUE(search());
  EXPECT_TRUE(found.holdsOpenItem);
  EXPECT_EQ(image(), u"C:\\Program Files\\Editor\\editor64.exe");
  EXPECT_EQ(found.holderStartTime,
            world.platform.processStartTime(world.platform.openProcess(100)));
  world.platform.closeHandle(world.openHandles.empty() ? 0 : *world.openHandles.begin());
  // ... and the executable check reads it too.
  world.processes[100].image = u"E:\\portable\\editor64.exe";
  EXPECT_TRUE(search());
  EXPECT_TRUE(found.runsFromDrive);
  EXPECT_EQ(image(), u"E:\\portable\\editor64.exe");
  EXPECT_TRUE(world.duplicated.size() <= 1u);
}

TEST_P(Search, AModuleLoadedFromTheDriveIsReportedOnlyWhenTheWalkFindsNothing) {
  world.addProcess(100, u"C:\\host.exe");
  world.processes[100].modules = {u"C:\\Windows\\system32\\kernel32.dll", u"e:\\plugins\\p.dll"};
  world.addProcess(200, u"C:\\b.exe");
  world.addFile(100, 4, u"\\Device\\HarddiskVolume3\\x");
  world.addFile(200, 4, u"\\Device\\HarddiskVolume3\\y");
  EXPECT_TRUE(search());
  EXPECT_TRUE(found.runsFromDrive);
  EXPECT_FALSE(found.holdsOpenItem);
  EXPECT_EQ(found.holderPid, 100u);
  EXPECT_EQ(image(), u"C:\\host.exe");
  EXPECT_EQ(openPath(), u"");
  EXPECT_NE(found.holderStartTime, 0u);
  // A process holding a file on the drive is the answer, wherever it is listed.
  world.addFile(200, 8, kOnE + u"a.txt", u"E:\\a.txt");
  EXPECT_TRUE(search());
  EXPECT_TRUE(found.holdsOpenItem);
  EXPECT_EQ(found.holderPid, 200u);
  // Turned off, or with no module on the drive, nothing is found and the
  // findings describe the last process opened, as without the look.
  world.table.pop_back();
  options.lookAtModules = false;
  EXPECT_FALSE(search());
  options.lookAtModules = true;
  world.processes[100].modules.pop_back();
  EXPECT_FALSE(search());
  EXPECT_EQ(found.holderPid, 200u);
  EXPECT_EQ(image(), u"C:\\b.exe");
}

// Passing over handles by their type number.
class TypeNumbers : public Search {};
INSTANTIATE_TEST_SUITE_P(Walks, TypeNumbers, ::testing::Values(WalkMode::Batched));

TEST_P(TypeNumbers, HandlesOfATypeLearntNotToBeFilesAreNeitherDuplicatedNorAsked) {
  world.addProcess(100, u"C:\\a.exe");
  for (uint64_t h = 4; h <= 4000; h += 4) {
    world.addHandle(100, h, FakeObject{h % 8 == 0 ? u"Event" : u"Key", u""});
  }
  world.addFile(100, 4004, kOnE + u"a.txt", u"E:\\a.txt");
  EXPECT_TRUE(search());
  EXPECT_EQ(openPath(), u"E:\\a.txt");
  EXPECT_EQ(world.duplicated.size(), 3u);  // one of each type
  EXPECT_EQ(threads.created, 1);
}

TEST_P(TypeNumbers, FilesOfANumberLearntToBeAFilesAreNamedWithoutReadingTheirTypeAgain) {
  world.addProcess(100, u"C:\\a.exe");
  for (uint64_t h = 4; h <= 400; h += 4) world.addFile(100, h, u"\\Device\\HarddiskVolume3\\x");
  world.addFile(100, 404, kOnE + u"a.txt", u"E:\\a.txt");
  EXPECT_TRUE(search());
  EXPECT_EQ(openPath(), u"E:\\a.txt");
  EXPECT_EQ(world.typeQueries, 1);
  EXPECT_EQ(world.nameQueries, 101);
}

TEST_P(TypeNumbers, ATableWithoutTypeNumbersIsWalkedInFull) {
  world.typeNumbersInTable = false;
  world.addProcess(100, u"C:\\a.exe");
  for (uint64_t h = 4; h <= 400; h += 4) world.addHandle(100, h, FakeObject{u"Event", u""});
  world.addFile(100, 404, kOnE + u"a.txt", u"E:\\a.txt");
  EXPECT_TRUE(search());
  EXPECT_EQ(openPath(), u"E:\\a.txt");
  EXPECT_EQ(world.duplicated.size(), 101u);
}

TEST_P(TypeNumbers, ATypeNumberUnderWhichAFileWasSeenIsNeverPassedOver) {
  // A system that gave files and events one number: once a file was seen
  // under it, the events with it do not make it a number to pass over.
  world.addProcess(100, u"C:\\a.exe");
  const std::vector<std::pair<const char16_t*, bool>> handles = {
      {u"\\Device\\HarddiskVolume3\\x", true}, {u"", false}, {u"", false}, {u"E:", true}};
  uint64_t value = 4;
  for (auto& h : handles) {
    if (h.second) {
      world.addFile(100, value, h.first[0] == u'E' ? kOnE + u"a.txt" : std::u16string(h.first),
                    u"E:\\a.txt");
    } else {
      world.addHandle(100, value, FakeObject{u"Event", u""});
    }
    world.table.back().typeNumber = 7;
    value += 4;
  }
  EXPECT_TRUE(search());
  EXPECT_EQ(world.duplicated.size(), 4u);
  EXPECT_EQ(openPath(), u"E:\\a.txt");
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
