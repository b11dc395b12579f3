#include <windows.h>
#include <cfgmgr32.h>

#include "base/text_win32.h"
#include "device/device_platforms_win32.h"
#include "device/device_win32.h"

namespace tarnwick {

bool WindowsEjectPlatform::createVolumeSet() {
  set_.reset(::SetupDiGetClassDevsW(&kVolumeInterfaceClass, nullptr, nullptr,
                                    DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
  return static_cast<bool>(set_);
}

bool WindowsEjectPlatform::openDeviceInfo(const char16_t* instanceId, DevNode& node) {
  SP_DEVINFO_DATA element = {};
  element.cbSize = sizeof element;
  if (!::SetupDiOpenDeviceInfoW(set_.get(), wide(instanceId), nullptr, DIOD_INHERIT_CLASSDRVS,
                                &element)) {
    return false;
  }
  node = element.DevInst;
  return true;
}

uint32_t WindowsEjectPlatform::requestEject(DevNode node, uint32_t* vetoType, char16_t* vetoName,
                                            uint32_t nameLength) {
  static_assert(sizeof(PNP_VETO_TYPE) == sizeof(uint32_t), "the veto type is 32 bits");
  return ::CM_Request_Device_EjectW(node, reinterpret_cast<PPNP_VETO_TYPE>(vetoType),
                                    reinterpret_cast<wchar_t*>(vetoName), nameLength, 0);
}

void WindowsEjectPlatform::destroyVolumeSet() { set_.reset(); }

}  // namespace tarnwick
