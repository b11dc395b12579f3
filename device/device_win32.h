// The Windows operations of drive resolution and ejection used by the roles.
#pragma once

#include <windows.h>
#include <setupapi.h>
#include <wbemidl.h>

#include "device/removable_device.h"

namespace tarnwick {

// The volume device interface class, {53F5630D-B6BF-11D0-94F2-00A0C91EFB8B}.
inline const GUID kVolumeInterfaceClass = {
    0x53F5630D, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};

// Finds the ejectable device behind device.driveLetter and fills its names.
// `volumeSet` is the container in which device elements are opened.
bool resolve(RemovableDevice& device, HDEVINFO volumeSet, IWbemServices* wmi);

// One eject request for a resolved device; true when it was accepted.
bool eject(RemovableDevice& device);

}  // namespace tarnwick
