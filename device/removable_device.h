// One drive and the Plug and Play device whose ejection removes it.
#pragma once

#include <cstdint>

namespace tarnwick {

struct RemovableDevice {
  explicit RemovableDevice(char16_t letter) : driveLetter(letter) {}

  char16_t driveLetter = 0;              // as given; its case is not changed
  char16_t instanceId[256] = {};         // device to eject; empty unless resolved
  char16_t deviceDescription[256] = {};  // of the device to eject
  char16_t friendlyName[256] = {};       // of the node found for the drive; may be empty
  uint32_t vetoType = 0;                 // of the last eject request
  char16_t vetoName[260] = {};           // of the last eject request
  int32_t wantVetoInfo = 0;              // pass veto buffers with the eject request
};

}  // namespace tarnwick
