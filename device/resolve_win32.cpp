#include "device/device_win32.h"

namespace tarnwick {

// Drive resolution is not part of this build yet: no drive resolves, so a
// worker shows nothing and makes no request, and a launcher ends quietly.
bool resolve(RemovableDevice& device, HDEVINFO, IWbemServices*) {
  device.instanceId[0] = 0;
  return false;
}

bool eject(RemovableDevice&) { return false; }

}  // namespace tarnwick
