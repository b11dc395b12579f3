// Explorer window release: before the ejection is retried, shell windows that
// show a folder on the drive are moved to a place off the drive, or closed.
#pragma once

#include <cstdint>

namespace tarnwick {

// Where windows on the drive are moved, chosen from the system's major version.
inline constexpr char16_t kTargetDriveFolder[] = u"shell:DriveFolder";
inline constexpr char16_t kTargetMyComputer[] = u"shell:MyComputerFolder";

// A window that is asked to close is polled this often, this far apart
// (about one second), before the same place in the list is looked at again.
constexpr int kClosePolls = 100;
constexpr uint32_t kClosePollMs = 10;

// The release thread's run time is limited to this.
constexpr uint32_t kReleaseLimitMs = 6000;

// A window of the system (an HWND), carried as a number.
using WindowId = uintptr_t;

// What the release needs of the shell's window collection and the system.
// One window of the collection at a time is "the current window".
class ShellWindowsPlatform {
 public:
  virtual ~ShellWindowsPlatform() = default;
  // The system's major version; false when it cannot be read.
  virtual bool majorVersion(uint32_t& major) = 0;
  // Creates the shell windows collection; false when there is none.
  virtual bool openCollection() = 0;
  // The number of windows in the collection; false when it cannot be read.
  virtual bool count(int32_t& windows) = 0;
  // Makes the browser of the window at this index the current window;
  // false when there is no item there or it is no browser.
  virtual bool openWindow(int32_t index) = 0;
  // The current window's address; null when it cannot be read. The text
  // stays valid until closeWindow.
  virtual const char16_t* address() = 0;
  // The current window's system window; false when it is not available.
  virtual bool windowHandle(WindowId& window) = 0;
  // Navigates the current window; the result is not examined.
  virtual void navigate(const char16_t* target) = 0;
  // Lets go of the current window.
  virtual void closeWindow() = 0;
  // Asks a system window to close (WM_CLOSE, posted).
  virtual void postClose(WindowId window) = 0;
  // True while the system window exists.
  virtual bool windowExists(WindowId window) = 0;
  virtual void sleep(uint32_t milliseconds) = 0;
  // Lets go of the collection.
  virtual void closeCollection() = 0;
};

// 0-25 for the letters A-Z in either case: "A" is subtracted from units up
// to "Z", "a" from all others (units that are no letter give other values).
int driveIndex(char16_t letter);

// The navigation target for this major version (false: the version is unknown).
const char16_t* navigationTarget(bool versionKnown, uint32_t major);

// True when the address is "file:///" followed by a letter of the drive
// with this index and ":" (the prefix is compared case-sensitively).
// A null address is treated as empty.
bool addressOnDrive(const char16_t* address, int driveIndex);

// The release itself, run on the release thread.
void releaseWindowsOnDrive(char16_t driveLetter, bool closeExplorer,
                           ShellWindowsPlatform& platform);

// The thread that the release runs on: the shell's automation objects may
// hang, so the release gets a disposable thread whose run time is limited.
class ExplorerReleasePlatform {
 public:
  virtual ~ExplorerReleasePlatform() = default;
  // What runs on the thread; `argument` is the thread's own copy of what it reads.
  using Body = void (*)(uintptr_t argument, ShellWindowsPlatform& platform);
  // Runs body(argument, the shell's windows) on a new thread with a COM
  // apartment of its own and waits up to limitMs for it to end; a thread
  // still running then is terminated, so the caller is blocked for at most
  // about limitMs + 100 ms. True when the body ran to its end in time.
  virtual bool runReleaseThread(Body body, uintptr_t argument, uint32_t limitMs) = 0;
};

// Moves or closes the shell windows on the drive on the release thread.
// Blocks the caller for at most about kReleaseLimitMs.
void releaseExplorerWindows(char16_t driveLetter, bool closeExplorer,
                            ExplorerReleasePlatform& platform);

}  // namespace tarnwick
