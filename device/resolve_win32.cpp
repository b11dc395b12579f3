#include <windows.h>
#include <winioctl.h>
#include <cfgmgr32.h>
#include <oleauto.h>

#include "base/text_win32.h"
#include "base/text.h"
#include "device/device_platforms_win32.h"

namespace tarnwick {

static_assert(sizeof(StorageDeviceNumber) == sizeof(STORAGE_DEVICE_NUMBER),
              "the storage stack answers 12 bytes");

bool WindowsResolvePlatform::openVolume(const char16_t* path) {
  // No read or write access: opening a volume this way needs no rights and
  // does not disturb whoever uses the drive.
  volume_.reset(::CreateFileW(wide(path), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr));
  return static_cast<bool>(volume_);
}

bool WindowsResolvePlatform::readStorageDeviceNumber(StorageDeviceNumber& number) {
  STORAGE_DEVICE_NUMBER answer = {};
  DWORD returned = 0;
  if (!::DeviceIoControl(volume_.get(), IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &answer,
                         sizeof answer, &returned, nullptr)) {
    return false;
  }
  number.deviceType = answer.DeviceType;
  number.deviceNumber = answer.DeviceNumber;
  number.partitionNumber = answer.PartitionNumber;
  return true;
}

void WindowsResolvePlatform::closeVolume() { volume_.reset(); }

bool WindowsResolvePlatform::queryPnpDeviceId(const char16_t* query, char16_t* id,
                                              size_t capacity) {
  if (wmi_ == nullptr || capacity == 0) return false;
  UniqueBstr language(::SysAllocString(L"WQL"));
  UniqueBstr text(::SysAllocString(wide(query)));
  if (!language || !text) return false;
  ComPtr<IEnumWbemClassObject> rows;
  if (FAILED(wmi_->ExecQuery(language.get(), text.get(), 0, nullptr, rows.put())) || !rows) {
    return false;
  }
  // Only the first row counts; none within the time limit means no node.
  ComPtr<IWbemClassObject> row;
  ULONG count = 0;
  if (FAILED(rows->Next(10000, 1, row.put(), &count)) || count == 0 || !row) return false;
  VARIANT value;
  ::VariantInit(&value);
  bool found = false;
  if (SUCCEEDED(row->Get(L"PNPDeviceID", 0, &value, nullptr, nullptr)) && value.vt == VT_BSTR &&
      value.bstrVal != nullptr) {
    // An id that does not fit cannot name a device; it is not shortened.
    const size_t length = ::SysStringLen(value.bstrVal);
    if (length < capacity) {
      for (size_t i = 0; i < length; ++i) id[i] = static_cast<char16_t>(value.bstrVal[i]);
      id[length] = 0;
      found = true;
    }
  }
  ::VariantClear(&value);
  return found;
}

bool WindowsResolvePlatform::openMountedDevices() {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\MountedDevices", 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    return false;
  }
  mountedDevices_.reset(key);
  return true;
}

bool WindowsResolvePlatform::queryMountedDevice(const char16_t* valueName, void* data,
                                                uint32_t& bytes) {
  DWORD size = data != nullptr ? bytes : 0;
  if (::RegQueryValueExW(mountedDevices_.get(), wide(valueName), nullptr, nullptr,
                         static_cast<BYTE*>(data), &size) != ERROR_SUCCESS) {
    return false;
  }
  bytes = size;
  return true;
}

void WindowsResolvePlatform::closeMountedDevices() { mountedDevices_.reset(); }

bool WindowsResolvePlatform::locateDevNode(const char16_t* instanceId, DevNode& node) {
  DEVINST found = 0;
  if (::CM_Locate_DevNodeW(&found, const_cast<wchar_t*>(wide(instanceId)),
                           CM_LOCATE_DEVNODE_NORMAL) != CR_SUCCESS) {
    return false;
  }
  node = found;
  return true;
}

bool WindowsResolvePlatform::getDeviceId(DevNode node, char16_t* id, size_t capacity) {
  if (capacity == 0) return false;
  // An id that fills the buffer exactly comes back without a terminator, so
  // the last unit is kept for it.
  id[capacity - 1] = 0;
  return ::CM_Get_Device_IDW(node, wide(id), static_cast<ULONG>(capacity - 1), 0) == CR_SUCCESS;
}

bool WindowsResolvePlatform::getParent(DevNode node, DevNode& parent) {
  DEVINST found = 0;
  if (::CM_Get_Parent(&found, node, 0) != CR_SUCCESS) return false;
  parent = found;
  return true;
}

bool WindowsResolvePlatform::getStatus(DevNode node, uint32_t& status) {
  ULONG flags = 0;
  ULONG problem = 0;
  if (::CM_Get_DevNode_Status(&flags, &problem, node, 0) != CR_SUCCESS) return false;
  status = flags;
  return true;
}

bool WindowsResolvePlatform::openDeviceInfo(const char16_t* instanceId) {
  element_ = {};
  element_.cbSize = sizeof element_;
  return ::SetupDiOpenDeviceInfoW(set_, wide(instanceId), nullptr, DIOD_INHERIT_CLASSDRVS,
                                  &element_) != FALSE;
}

bool WindowsResolvePlatform::readDeviceProperty(DeviceProperty property, char16_t* text,
                                                size_t capacity) {
  if (capacity == 0) return false;
  const DWORD which =
      property == DeviceProperty::FriendlyName ? SPDRP_FRIENDLYNAME : SPDRP_DEVICEDESC;
  if (!::SetupDiGetDeviceRegistryPropertyW(
          set_, &element_, which, nullptr, reinterpret_cast<BYTE*>(text),
          static_cast<DWORD>(capacity * sizeof(char16_t)), nullptr)) {
    return false;
  }
  // Registry text need not be terminated; a full buffer keeps its last unit for it.
  text[capacity - 1] = 0;
  return true;
}

}  // namespace tarnwick
