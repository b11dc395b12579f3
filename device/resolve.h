// Drive resolution: from a drive letter to the Plug and Play device node
// whose ejection removes the drive, and the names the user sees.
//
// The rules live here; the system is reached only through ResolvePlatform,
// so that they run against the real system and against test doubles alike.
#pragma once

#include <cstddef>
#include <cstdint>

#include "device/device_constants.h"
#include "device/removable_device.h"

namespace tarnwick {

// The device properties the resolution reads.
enum class DeviceProperty { FriendlyName, DeviceDescription };

// What resolution needs of the system, one operation per platform call.
class ResolvePlatform {
 public:
  virtual ~ResolvePlatform() = default;

  // The drive's volume: opened without read or write access, asked for its
  // storage device number, closed right after.
  virtual bool openVolume(const char16_t* path) = 0;
  virtual bool readStorageDeviceNumber(StorageDeviceNumber& number) = 0;
  virtual void closeVolume() = 0;

  // Runs a WQL query and reads PNPDeviceID of its first row, waiting at most
  // 10000 ms for that row. False when the query fails, has no row, or the
  // value is no text that fits `capacity` units with its terminator.
  virtual bool queryPnpDeviceId(const char16_t* query, char16_t* id, size_t capacity) = 0;

  // The mounted-devices key of the local machine, opened for reading.
  virtual bool openMountedDevices() = 0;
  // Reads one value of that key. With `data` null only its size in bytes is
  // put into `bytes`; otherwise at most `bytes` bytes are read into `data`.
  // False when the value is missing or does not fit.
  virtual bool queryMountedDevice(const char16_t* valueName, void* data, uint32_t& bytes) = 0;
  virtual void closeMountedDevices() = 0;

  // The configuration manager.
  virtual bool locateDevNode(const char16_t* instanceId, DevNode& node) = 0;
  // Fills `id` (capacity units) with the node's instance id, terminated.
  virtual bool getDeviceId(DevNode node, char16_t* id, size_t capacity) = 0;
  virtual bool getParent(DevNode node, DevNode& parent) = 0;  // false at the root
  virtual bool getStatus(DevNode node, uint32_t& status) = 0;

  // Opens the device with this instance id in the caller's device set; the
  // property reads that follow are of that device.
  virtual bool openDeviceInfo(const char16_t* instanceId) = 0;
  // Fills `text` (capacity units) with a text property, terminated.
  virtual bool readDeviceProperty(DeviceProperty property, char16_t* text, size_t capacity) = 0;
};

// Fills the instance id and names of `device` for its drive letter. On false
// `instanceId` is empty and the rest of the record means nothing.
bool resolveDevice(RemovableDevice& device, ResolvePlatform& platform);

// The steps of resolution, each answering a node or 0 for none.

// Runs a WQL query and locates the node named by its first row's PNPDeviceID.
DevNode queryDeviceNode(const char16_t* query, ResolvePlatform& platform);

// Locates the volume's own node from its link in the mounted-devices data.
DevNode locateFromMountedDevices(char16_t driveLetter, ResolvePlatform& platform);

// The nearest removable ancestor of `node`, looking `levels` levels up.
DevNode findRemovableAncestor(DevNode node, int levels, ResolvePlatform& platform);

}  // namespace tarnwick
