// The eject request: one request to the Plug and Play manager to eject the
// device that resolution chose.
#pragma once

#include <cstdint>

#include "device/device_constants.h"
#include "device/removable_device.h"

namespace tarnwick {

// Room for a veto name, in UTF-16 units: the size of RemovableDevice::vetoName.
constexpr uint32_t kVetoNameUnits = 260;

// What the eject request needs of the system.
class EjectPlatform {
 public:
  virtual ~EjectPlatform() = default;
  // A new set of the present volume device interfaces, owned by the platform.
  virtual bool createVolumeSet() = 0;
  // Opens the device with this instance id in that set and gives its node.
  virtual bool openDeviceInfo(const char16_t* instanceId, DevNode& node) = 0;
  // The request itself, flags 0. `vetoType` and `vetoName` are both given,
  // with nameLength the room in units, or both null with nameLength 0.
  // Returns the configuration manager's result.
  virtual uint32_t requestEject(DevNode node, uint32_t* vetoType, char16_t* vetoName,
                                uint32_t nameLength) = 0;
  virtual void destroyVolumeSet() = 0;
};

// Asks for the device to be ejected; true when the request was accepted.
// With wantVetoInfo set the veto buffers are passed and the system stays
// silent; without them the system tells the user the outcome itself.
bool ejectDevice(RemovableDevice& device, EjectPlatform& platform);

}  // namespace tarnwick
