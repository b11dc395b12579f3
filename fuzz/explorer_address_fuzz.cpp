// The Explorer address match: shell windows' addresses as the shell reports
// them, and the drive letter given, through addressOnDrive and through a
// release over a collection of such windows.
//
// Input: a flags byte (bit 0: close the windows instead of moving them;
// bit 1: the version is unknown), the drive letter (16 bits), then one line
// per shell window: its address ("\x01" alone: the address cannot be read;
// "\x02" alone: the item is no browser).
#include <set>

#include "base/text.h"
#include "fuzz/fuzz_support.h"
#include "shell/explorer_release.h"

using namespace tarnwick;

namespace {

const std::u16string kPrefix = u"file:///";

int expectedIndex(char16_t letter) {
  return letter <= u'Z' ? static_cast<int>(letter) - 'A' : static_cast<int>(letter) - 'a';
}

bool expectedOnDrive(const std::u16string& address, char16_t letter) {
  return address.size() >= kPrefix.size() + 2 && address.compare(0, kPrefix.size(), kPrefix) == 0 &&
         expectedIndex(address[kPrefix.size()]) == expectedIndex(letter) &&
         address[kPrefix.size() + 1] == u':';
}

struct Window {
  std::unique_ptr<fuzz::ExactText> address;  // null: cannot be read
  bool browser = true;
  bool onDrive = false;
  WindowId id = 0;
  bool navigated = false;
};

struct Shell : ShellWindowsPlatform {
  std::vector<Window> windows;  // the collection, in order
  std::vector<WindowId> closed;
  bool versionKnown = true;
  bool collectionOpen = false;
  int current = -1;
  uint32_t slept = 0;

  bool majorVersion(uint32_t& major) override {
    major = 6;
    return versionKnown;
  }
  bool openCollection() override {
    collectionOpen = true;
    return true;
  }
  bool count(int32_t& n) override {
    n = static_cast<int32_t>(windows.size());
    return true;
  }
  bool openWindow(int32_t index) override {
    FUZZ_CHECK(collectionOpen && current == -1);
    FUZZ_CHECK(index >= 0);
    if (static_cast<size_t>(index) >= windows.size() || !windows[index].browser) return false;
    current = index;
    return true;
  }
  const char16_t* address() override {
    FUZZ_CHECK(current >= 0);
    return windows[current].address ? windows[current].address->get() : nullptr;
  }
  bool windowHandle(WindowId& window) override {
    FUZZ_CHECK(current >= 0);
    window = windows[current].id;
    return true;
  }
  void navigate(const char16_t* target) override {
    FUZZ_CHECK(current >= 0 && windows[current].onDrive && !windows[current].navigated);
    FUZZ_CHECK(std::u16string(target) == (versionKnown ? kTargetMyComputer : kTargetDriveFolder));
    windows[current].navigated = true;
  }
  void closeWindow() override {
    FUZZ_CHECK(current != -1);
    current = -1;
  }
  // A window asked to close closes at once and leaves the collection.
  void postClose(WindowId window) override {
    FUZZ_CHECK(current >= 0 && windows[current].id == window && windows[current].onDrive);
    closed.push_back(window);
    windows.erase(windows.begin() + current);
    current = -2;  // the item is still held until closeWindow
  }
  bool windowExists(WindowId window) override {
    for (const Window& w : windows) {
      if (w.id == window) return true;
    }
    return false;
  }
  void sleep(uint32_t milliseconds) override { slept += milliseconds; }
  void closeCollection() override {
    FUZZ_CHECK(collectionOpen && current == -1);
    collectionOpen = false;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const bool closeExplorer = data[0] & 1;
  const char16_t letter = static_cast<char16_t>(data[1] | data[2] << 8);
  const int drive = driveIndex(letter);
  FUZZ_CHECK(drive == expectedIndex(letter));
  if ((letter >= u'A' && letter <= u'Z') || (letter >= u'a' && letter <= u'z')) {
    FUZZ_CHECK(drive >= 0 && drive < 26 && drive == driveIndex(upperAscii(letter)));
  }
  FUZZ_CHECK(!addressOnDrive(nullptr, drive));

  Shell shell;
  shell.versionKnown = !(data[0] & 2);
  std::set<WindowId> onDrive;
  for (const std::u16string& line : fuzz::decodeLines(data + 3, size - 3)) {
    Window w;
    w.id = 0x1000 + shell.windows.size();
    if (line == u"\x02") {
      w.browser = false;
    } else if (line != u"\x01") {
      const std::u16string address = fuzz::untilZero(line);
      w.address = std::make_unique<fuzz::ExactText>(address);
      w.onDrive = expectedOnDrive(address, letter);
      FUZZ_CHECK(addressOnDrive(w.address->get(), drive) == w.onDrive);
      if (w.onDrive) onDrive.insert(w.id);
    }
    shell.windows.push_back(std::move(w));
  }

  const size_t before = shell.windows.size();
  releaseWindowsOnDrive(letter, closeExplorer, shell);
  FUZZ_CHECK(!shell.collectionOpen);
  if (closeExplorer) {
    // Every window on the drive is closed, none is skipped, no other touched.
    FUZZ_CHECK(std::set<WindowId>(shell.closed.begin(), shell.closed.end()) == onDrive);
    FUZZ_CHECK(shell.closed.size() == onDrive.size());
    FUZZ_CHECK(shell.windows.size() == before - onDrive.size());
  } else {
    FUZZ_CHECK(shell.closed.empty());
    for (const Window& w : shell.windows) FUZZ_CHECK(w.navigated == w.onDrive);
  }
  return 0;
}
