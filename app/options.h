// The program's settings, from its command line and from option letters in
// its own file name (Tarnwick-ck.exe behaves like "Tarnwick.exe -c -k").
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarnwick {

struct LaunchOptions {
  char16_t driveLetter = 0;   // upper-case drive to eject; 0 = none (selects the worker)
  int32_t silent = 0;         // s: one ejection attempt, no banner
  int32_t askFirst = 0;       // c, d: wait for OK before the first attempt (changed by the banner)
  int32_t systemNotices = 0;  // c, l: the system reports eject results itself
  int32_t openDrive = 0;      // d: open the drive's root folder at start
  int32_t deleteExecutable = 0;  // --delete-executable: remove own executable at the end
  int32_t waitPid = 0;           // -p<digits>: process to wait for; 0 = none (selects the waiter)
  int32_t offerKill = 0;         // k: offer to terminate the blocking process
  int32_t closeExplorer = 0;     // x: close Explorer windows instead of moving them
  // Which letters were given in either source; forwarded to the relaunched copy.
  int32_t givenS = 0;
  int32_t givenC = 0;
  int32_t givenD = 0;
  int32_t givenL = 0;
  int32_t givenK = 0;
  int32_t givenX = 0;
};

// Parses the argument list as the platform split it; arguments[0] is the
// program's own path as invoked. Pure: no system calls. Null entries are
// treated as empty arguments.
LaunchOptions parseLaunchOptions(const char16_t* const* arguments, size_t count);

// The one process-wide record, filled before the main function runs.
LaunchOptions& launchOptions();

// Fills the process-wide record from the process command line (Windows only).
void loadLaunchOptions();

}  // namespace tarnwick
