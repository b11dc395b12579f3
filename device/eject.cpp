#include "device/eject.h"

namespace tarnwick {

static_assert(sizeof(RemovableDevice::vetoName) / sizeof(char16_t) == kVetoNameUnits,
              "the request is told the veto name's room");

bool ejectDevice(RemovableDevice& device, EjectPlatform& platform) {
  // A set of its own per request: the device may have gone and come back
  // since resolution or the previous attempt.
  if (!platform.createVolumeSet()) return false;
  bool accepted = false;
  DevNode node = 0;
  // A device that is no longer present leaves the previous veto as it was.
  if (platform.openDeviceInfo(device.instanceId, node)) {
    device.vetoType = 0;
    for (char16_t& unit : device.vetoName) unit = 0;
    const uint32_t result =
        device.wantVetoInfo != 0
            ? platform.requestEject(node, &device.vetoType, device.vetoName, kVetoNameUnits)
            : platform.requestEject(node, nullptr, nullptr, 0);
    // A name that fills the whole buffer comes back without a terminator.
    device.vetoName[kVetoNameUnits - 1] = 0;
    accepted = result == kCrSuccess;
  }
  platform.destroyVolumeSet();
  return accepted;
}

}  // namespace tarnwick
