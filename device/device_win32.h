// The device interface class of volumes, in which the session's device set
// and each eject request's set are made.
#pragma once

#include <windows.h>

namespace tarnwick {

// The volume device interface class, {53F5630D-B6BF-11D0-94F2-00A0C91EFB8B}.
inline const GUID kVolumeInterfaceClass = {
    0x53F5630D, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};

}  // namespace tarnwick
