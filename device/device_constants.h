// Values that drive resolution and ejection share with the configuration
// manager and the storage stack.
#pragma once

#include <cstdint>

namespace tarnwick {

// A configuration manager device node; 0 stands for none.
using DevNode = uint32_t;

// The device instance id buffers of the program hold 256 units; the
// configuration manager's ids are at most 200 units long.
constexpr uint32_t kInstanceIdUnits = 256;

// Result codes of the configuration manager that the program tells apart.
constexpr uint32_t kCrSuccess = 0x00;
constexpr uint32_t kCrRemoveVetoed = 0x17;

// Device node status flag of a device that can be ejected.
constexpr uint32_t kStatusRemovable = 0x4000;  // DN_REMOVABLE

// Storage device types that the resolution tells apart.
constexpr uint32_t kDeviceTypeCdRom = 0x02;  // FILE_DEVICE_CD_ROM
constexpr uint32_t kDeviceTypeDisk = 0x07;   // FILE_DEVICE_DISK
constexpr uint32_t kDeviceTypeDvd = 0x33;    // FILE_DEVICE_DVD

// Partition number of a disk that cannot be partitioned (a superfloppy).
constexpr uint32_t kNotPartitionable = 0xFFFFFFFF;

// What the storage stack reports for a volume (STORAGE_DEVICE_NUMBER).
struct StorageDeviceNumber {
  uint32_t deviceType = 0;
  uint32_t deviceNumber = 0;     // the N of physical drive N
  uint32_t partitionNumber = 0;  // kNotPartitionable for a superfloppy
};

}  // namespace tarnwick
