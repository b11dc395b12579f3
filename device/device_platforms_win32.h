// The real system behind drive resolution and the eject request.
#pragma once

#include <windows.h>
#include <setupapi.h>
#include <wbemidl.h>

#include "base/owners_win32.h"
#include "device/eject.h"
#include "device/resolve.h"

namespace tarnwick {

// Resolution against the storage stack, WMI, the registry, the configuration
// manager and SetupAPI. Devices are opened in the caller's set, which keeps
// them; `wmi` may be null, and then no query yields anything.
class WindowsResolvePlatform final : public ResolvePlatform {
 public:
  WindowsResolvePlatform(HDEVINFO set, IWbemServices* wmi) : set_(set), wmi_(wmi) {}

  bool openVolume(const char16_t* path) override;
  bool readStorageDeviceNumber(StorageDeviceNumber& number) override;
  void closeVolume() override;
  bool queryPnpDeviceId(const char16_t* query, char16_t* id, size_t capacity) override;
  bool openMountedDevices() override;
  bool queryMountedDevice(const char16_t* valueName, void* data, uint32_t& bytes) override;
  void closeMountedDevices() override;
  bool locateDevNode(const char16_t* instanceId, DevNode& node) override;
  bool getDeviceId(DevNode node, char16_t* id, size_t capacity) override;
  bool getParent(DevNode node, DevNode& parent) override;
  bool getStatus(DevNode node, uint32_t& status) override;
  bool openDeviceInfo(const char16_t* instanceId) override;
  bool readDeviceProperty(DeviceProperty property, char16_t* text, size_t capacity) override;

 private:
  HDEVINFO set_;
  IWbemServices* wmi_;
  UniqueHandle volume_;
  UniqueRegKey mountedDevices_;
  SP_DEVINFO_DATA element_ = {};
};

// The eject request through SetupAPI and the configuration manager.
class WindowsEjectPlatform final : public EjectPlatform {
 public:
  bool createVolumeSet() override;
  bool openDeviceInfo(const char16_t* instanceId, DevNode& node) override;
  uint32_t requestEject(DevNode node, uint32_t* vetoType, char16_t* vetoName,
                        uint32_t nameLength) override;
  void destroyVolumeSet() override;

 private:
  UniqueDevInfo set_;
};

}  // namespace tarnwick
