// What the worker tells the banner when it builds it.
#pragma once

namespace tarnwick {

struct BannerSettings {
  bool askFirst = false;       // wait for OK before the first ejection attempt
  bool systemNotices = false;  // the system reports eject results itself
  bool offerKill = false;      // offer to terminate the process that keeps the drive busy
  bool closeExplorer = false;  // close Explorer windows on the drive instead of moving them
};

}  // namespace tarnwick
