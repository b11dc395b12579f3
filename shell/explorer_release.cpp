#include "shell/explorer_release.h"

namespace tarnwick {
namespace {

constexpr char16_t kFilePrefix[] = u"file:///";
constexpr int kFilePrefixUnits = 8;

// The release thread's argument: the drive letter in the low 16 bits and the
// close option above them.
constexpr uintptr_t kCloseBit = 0x10000;

void releaseBody(uintptr_t packed, ShellWindowsPlatform& platform) {
  releaseWindowsOnDrive(static_cast<char16_t>(packed & 0xFFFF), (packed & kCloseBit) != 0,
                        platform);
}

}  // namespace

int driveIndex(char16_t letter) {
  return letter <= u'Z' ? static_cast<int>(letter) - u'A' : static_cast<int>(letter) - u'a';
}

const char16_t* navigationTarget(bool versionKnown, uint32_t major) {
  return versionKnown && major > 5 ? kTargetMyComputer : kTargetDriveFolder;
}

bool addressOnDrive(const char16_t* address, int index) {
  if (address == nullptr) return false;
  // Unit by unit, so that a shorter address is never read past its end.
  for (int i = 0; i < kFilePrefixUnits; ++i) {
    if (address[i] != kFilePrefix[i]) return false;
  }
  const char16_t letter = address[kFilePrefixUnits];
  return letter != 0 && driveIndex(letter) == index && address[kFilePrefixUnits + 1] == u':';
}

void releaseWindowsOnDrive(char16_t driveLetter, bool closeExplorer,
                           ShellWindowsPlatform& platform) {
  uint32_t major = 0;
  const bool versionKnown = platform.majorVersion(major);
  const char16_t* target = navigationTarget(versionKnown, major);
  if (!platform.openCollection()) return;
  const int drive = driveIndex(driveLetter);
  // Read once: a window that closes leaves the collection, and the ones
  // after it move down one place.
  int32_t windows = 0;
  if (platform.count(windows)) {
    for (int32_t index = 0; index < windows; ++index) {
      if (!platform.openWindow(index)) continue;
      if (addressOnDrive(platform.address(), drive)) {
        WindowId window = 0;
        if (closeExplorer && platform.windowHandle(window)) {
          platform.postClose(window);
          for (int poll = 0; poll < kClosePolls && platform.windowExists(window); ++poll) {
            platform.sleep(kClosePollMs);
          }
          // The next window now sits at this index (and a window that did
          // not close is asked again).
          --index;
        } else {
          platform.navigate(target);
        }
      }
      platform.closeWindow();
    }
  }
  platform.closeCollection();
}

void releaseExplorerWindows(char16_t driveLetter, bool closeExplorer,
                            ExplorerReleasePlatform& platform) {
  const uintptr_t packed = driveLetter | (closeExplorer ? kCloseBit : 0);
  platform.runReleaseThread(&releaseBody, packed, kReleaseLimitMs);
}

}  // namespace tarnwick
