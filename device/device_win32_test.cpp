// The Windows bindings of resolution and ejection against the system as Wine
// provides it: volumes, WMI and the registry are real; Plug and Play has no
// removable devices, so no drive resolves.
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "device/device_platforms_win32.h"
#include "device/device_win32.h"

namespace tarnwick {
namespace {

class DeviceBindings : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(::CoInitialize(nullptr)));
    ::CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_PKT_PRIVACY,
                           RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
    ComPtr<IWbemLocator> locator;
    ASSERT_TRUE(SUCCEEDED(::CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_ALL,
                                             IID_IWbemLocator, locator.putVoid())));
    UniqueBstr ns(::SysAllocString(L"\\\\.\\root\\cimv2"));
    ASSERT_TRUE(SUCCEEDED(locator->ConnectServer(ns.get(), nullptr, nullptr, nullptr, 0, nullptr,
                                                 nullptr, wmi.put())));
    set.reset(::SetupDiGetClassDevsW(&kVolumeInterfaceClass, nullptr, nullptr,
                                     DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    ASSERT_TRUE(set);
  }
  void TearDown() override {
    set.reset();
    wmi.reset();
    ::CoUninitialize();
  }
  ComPtr<IWbemServices> wmi;
  UniqueDevInfo set;
};

TEST_F(DeviceBindings, TheSystemDriveIsADiskAndAnUnmappedLetterHasNoVolume) {
  WindowsResolvePlatform p(set.get(), wmi.get());
  ASSERT_TRUE(p.openVolume(u"\\\\.\\C:"));
  StorageDeviceNumber number;
  EXPECT_TRUE(p.readStorageDeviceNumber(number));
  p.closeVolume();
  EXPECT_EQ(number.deviceType, kDeviceTypeDisk);
  EXPECT_FALSE(p.openVolume(u"\\\\.\\Q:"));

  RemovableDevice unmapped(u'Q');
  EXPECT_FALSE(resolveDevice(unmapped, p));
  EXPECT_EQ(unmapped.instanceId[0], 0);
}

TEST_F(DeviceBindings, WmiAnswersTheFirstRowsPnpDeviceIdOrNothing) {
  WindowsResolvePlatform p(set.get(), wmi.get());
  char16_t id[256] = u"stale";
  const char16_t disk0[] =
      u"Select PNPDeviceID From Win32_DiskDrive Where DeviceID=\"\\\\\\\\.\\\\PhysicalDrive0\"";
  ASSERT_TRUE(p.queryPnpDeviceId(disk0, id, 256));
  EXPECT_GT(std::char_traits<char16_t>::length(id), 0u);
  // Several rows: the first one counts.
  char16_t first[256] = {};
  EXPECT_TRUE(p.queryPnpDeviceId(u"Select PNPDeviceID From Win32_DiskDrive", first, 256));
  // An id that does not fit is not shortened into another one.
  EXPECT_FALSE(p.queryPnpDeviceId(disk0, id, 4));
  // No row; no such property in the row; no valid query; no connection.
  EXPECT_FALSE(
      p.queryPnpDeviceId(u"Select PNPDeviceID From Win32_CDROMDrive Where Drive=\"Q:\"", id, 256));
  EXPECT_FALSE(p.queryPnpDeviceId(u"Select DeviceID From Win32_DiskDrive", id, 256));
  EXPECT_FALSE(p.queryPnpDeviceId(u"Select From Where", id, 256));
  WindowsResolvePlatform disconnected(set.get(), nullptr);
  EXPECT_FALSE(disconnected.queryPnpDeviceId(disk0, id, 256));
}

TEST_F(DeviceBindings, MountedDevicesValuesAreReadAsTheyAre) {
  const wchar_t kName[] = L"\\DosDevices\\Tarnwick-test";
  const unsigned char data[] = {'\\', 0, '?', 0, '?', 0, '\\', 0, 'X'};  // odd, unterminated
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\MountedDevices", 0, nullptr, 0,
                              KEY_SET_VALUE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  UniqueRegKey writable(key);
  ASSERT_EQ(::RegSetValueExW(key, kName, 0, REG_BINARY, data, sizeof data), ERROR_SUCCESS);

  WindowsResolvePlatform p(set.get(), wmi.get());
  ASSERT_TRUE(p.openMountedDevices());
  const char16_t* name = reinterpret_cast<const char16_t*>(kName);
  uint32_t size = 0;
  EXPECT_TRUE(p.queryMountedDevice(name, nullptr, size));
  EXPECT_EQ(size, sizeof data);
  unsigned char read[16];
  std::memset(read, 0xEE, sizeof read);
  uint32_t bytes = 12;
  EXPECT_TRUE(p.queryMountedDevice(name, read, bytes));
  EXPECT_EQ(bytes, sizeof data);
  EXPECT_EQ(std::memcmp(read, data, sizeof data), 0);
  EXPECT_EQ(read[12], 0xEE);
  bytes = 4;  // too small: refused rather than cut
  EXPECT_FALSE(p.queryMountedDevice(name, read, bytes));
  EXPECT_FALSE(p.queryMountedDevice(u"\\DosDevices\\Tarnwick-none", nullptr, size));
  p.closeMountedDevices();
  ::RegDeleteValueW(key, kName);
}

TEST_F(DeviceBindings, EjectingADeviceThatIsNotPresentIsRefusedAndKeepsTheLastVeto) {
  RemovableDevice gone(u'E');
  const char16_t id[] = u"USB\\VID_0000&PID_0000\\TARNWICK-GONE";
  std::memcpy(gone.instanceId, id, sizeof id);
  gone.vetoType = 6;
  gone.vetoName[0] = u'v';
  gone.wantVetoInfo = 1;
  WindowsEjectPlatform p;
  EXPECT_FALSE(ejectDevice(gone, p));
  EXPECT_EQ(gone.vetoType, 6u);
  EXPECT_EQ(gone.vetoName[0], u'v');
}

}  // namespace
}  // namespace tarnwick
