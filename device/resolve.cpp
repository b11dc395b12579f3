#include "device/resolve.h"

#include <memory>
#include <new>

#include "base/text.h"
#include "device/mounted_device_link.h"

namespace tarnwick {
namespace {

constexpr int kLevelsAboveWmiNode = 1;       // a disk or CD-ROM drive node: its parent
constexpr int kLevelsAboveRegistryNode = 2;  // a volume node: its parent or grandparent

// Builds a text of literal parts and the drive letter in `buffer`.
template <size_t N>
void withLetter(char16_t (&buffer)[N], const char16_t* before, char16_t letter,
                const char16_t* after) {
  copyText(buffer, before);
  appendUnit(buffer, letter);
  appendText(buffer, after);
}

// The node for the drive's volume, chosen by what kind of device holds it.
// `viaRegistry` tells whether the node came from the mounted-devices data.
DevNode findDriveNode(RemovableDevice& device, const StorageDeviceNumber& number,
                      ResolvePlatform& platform, bool& viaRegistry) {
  viaRegistry = false;
  char16_t query[128];
  switch (number.deviceType) {
    case kDeviceTypeCdRom:
    case kDeviceTypeDvd:
      // Optical drives are known to WMI by their letter and have no fallback.
      withLetter(query, u"Select PNPDeviceID From Win32_CDROMDrive Where Drive=\"",
                 device.driveLetter, u":\"");
      return queryDeviceNode(query, platform);
    case kDeviceTypeDisk: {
      if (number.partitionNumber != kNotPartitionable) {
        copyText(query,
                 u"Select PNPDeviceID From Win32_DiskDrive Where DeviceID="
                 u"\"\\\\\\\\.\\\\PhysicalDrive");
        appendDecimal(query, number.deviceNumber);
        appendText(query, u"\"");
        if (DevNode node = queryDeviceNode(query, platform)) return node;
      }
      DevNode node = locateFromMountedDevices(device.driveLetter, platform);
      viaRegistry = node != 0;
      return node;
    }
    default: return 0;
  }
}

// Fills the record from the node found for the drive; false ends resolution.
bool describe(RemovableDevice& device, DevNode found, bool viaRegistry, ResolvePlatform& platform) {
  device.friendlyName[0] = 0;
  if (!platform.getDeviceId(found, device.instanceId, kInstanceIdUnits)) return false;
  if (!platform.openDeviceInfo(device.instanceId)) return false;
  // The friendly name is only shown; a node without one still resolves.
  if (!platform.readDeviceProperty(DeviceProperty::FriendlyName, device.friendlyName,
                                   kInstanceIdUnits)) {
    device.friendlyName[0] = 0;
  }

  DevNode target = 0;
  uint32_t status = 0;
  if (viaRegistry && platform.getStatus(found, status) && (status & kStatusRemovable) != 0) {
    target = found;  // the volume's own node can be ejected
  } else {
    target = findRemovableAncestor(
        found, viaRegistry ? kLevelsAboveRegistryNode : kLevelsAboveWmiNode, platform);
  }
  if (target == 0) return false;

  if (!platform.getDeviceId(target, device.instanceId, kInstanceIdUnits)) return false;
  if (!platform.openDeviceInfo(device.instanceId)) return false;
  return platform.readDeviceProperty(DeviceProperty::DeviceDescription, device.deviceDescription,
                                     kInstanceIdUnits);
}

// Reads the drive's mounted-devices value from the open key and locates the
// node its link names.
DevNode locateFromOpenKey(const char16_t* valueName, ResolvePlatform& platform) {
  uint32_t size = 0;
  if (!platform.queryMountedDevice(valueName, nullptr, size)) return 0;
  const size_t units = mountedDeviceUnits(size);
  if (units == 0) return 0;
  std::unique_ptr<char16_t[]> text(new (std::nothrow) char16_t[units]());
  if (!text) return 0;
  uint32_t bytes = static_cast<uint32_t>(units * sizeof(char16_t));
  if (!platform.queryMountedDevice(valueName, text.get(), bytes)) return 0;
  // The data need not end in a zero unit, and the value may have grown since
  // its size was asked for: the last unit always terminates the text.
  text[units - 1] = 0;
  const char16_t* id = instanceIdFromLink(text.get());
  if (id == nullptr) return 0;
  DevNode node = 0;
  return platform.locateDevNode(id, node) ? node : 0;
}

}  // namespace

DevNode queryDeviceNode(const char16_t* query, ResolvePlatform& platform) {
  char16_t id[kInstanceIdUnits];
  if (!platform.queryPnpDeviceId(query, id, kInstanceIdUnits)) return 0;
  DevNode node = 0;
  return platform.locateDevNode(id, node) ? node : 0;
}

DevNode locateFromMountedDevices(char16_t driveLetter, ResolvePlatform& platform) {
  char16_t valueName[16];
  withLetter(valueName, u"\\DosDevices\\", driveLetter, u":");
  if (!platform.openMountedDevices()) return 0;
  DevNode node = locateFromOpenKey(valueName, platform);
  platform.closeMountedDevices();
  return node;
}

DevNode findRemovableAncestor(DevNode node, int levels, ResolvePlatform& platform) {
  for (; levels > 0; --levels) {
    DevNode parent = 0;
    if (!platform.getParent(node, parent)) return 0;
    uint32_t status = 0;
    // A status that cannot be read counts as not removable.
    if (platform.getStatus(parent, status) && (status & kStatusRemovable) != 0) return parent;
    node = parent;
  }
  return 0;
}

bool resolveDevice(RemovableDevice& device, ResolvePlatform& platform) {
  device.instanceId[0] = 0;
  char16_t path[128];
  withLetter(path, u"\\\\.\\", device.driveLetter, u":");
  if (!platform.openVolume(path)) return false;
  StorageDeviceNumber number;
  const bool numbered = platform.readStorageDeviceNumber(number);
  platform.closeVolume();
  if (!numbered) return false;

  bool viaRegistry = false;
  const DevNode found = findDriveNode(device, number, platform, viaRegistry);
  if (found == 0) return false;
  if (!describe(device, found, viaRegistry, platform)) {
    device.instanceId[0] = 0;
    return false;
  }
  return true;
}

}  // namespace tarnwick
