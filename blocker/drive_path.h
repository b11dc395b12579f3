// From an object name as the system reports it to the drive path of the
// item it names. Windows names an item on a volume by the volume's device
// name (\Device\HarddiskVolume3\Photos); Wine names it in the DOS-device form
// (\??\E:\Photos). Both are taken as naming the drive.
#pragma once

#include <cstddef>

namespace tarnwick {

// Units of the device name buffer (QueryDosDeviceW).
constexpr size_t kDeviceNameUnits = 128;

// A drive's device name with a backslash in place of its terminator. Only
// names that continue past that backslash lie on the drive, so the volume
// itself does not match, nor does volume 10 when the drive is volume 1.
struct DevicePrefix {
  char16_t units[kDeviceNameUnits];  // not terminated
  size_t length;
};

// Builds the prefix from the first text in `deviceName` (capacity
// kDeviceNameUnits). False when the text is empty or not terminated.
bool makeDevicePrefix(const char16_t* deviceName, DevicePrefix& prefix);

// When `name` names an item on the drive, writes the upper-case letter, ":",
// "\" and the rest of the name into `path` (capacity units) and returns true.
// The device form is compared unit for unit, case included; the DOS-device
// form \??\X:\ matches the letter in either case.
bool drivePathOf(const char16_t* name, const DevicePrefix& prefix, char16_t upperLetter,
                 char16_t* path, size_t capacity);

}  // namespace tarnwick
