#include "device/resolve.h"

#include <gtest/gtest.h>

#include "device/fake_resolve_platform.h"

namespace tarnwick {
namespace {

using Calls = std::vector<std::string>;

constexpr char16_t kDiskQuery12[] =
    u"Select PNPDeviceID From Win32_DiskDrive Where DeviceID=\"\\\\\\\\.\\\\PhysicalDrive12\"";
constexpr char kDiskQuery12Text[] =
    "wmi Select PNPDeviceID From Win32_DiskDrive Where DeviceID=\"\\\\\\\\.\\\\PhysicalDrive12\"";
constexpr char16_t kCdQueryE[] = u"Select PNPDeviceID From Win32_CDROMDrive Where Drive=\"E:\"";

constexpr DevNode kUsb = 10, kDisk = 11, kVolume = 12, kHub = 9, kRoot = 1;

std::vector<uint8_t> bytesOf(const std::u16string& text, bool terminated = true) {
  std::vector<uint8_t> out;
  for (char16_t u : text) {
    out.push_back(static_cast<uint8_t>(u & 0xFF));
    out.push_back(static_cast<uint8_t>(u >> 8));
  }
  if (terminated) out.insert(out.end(), {0, 0});
  return out;
}

// A USB stick: hub -> USB mass-storage device (removable) -> disk drive ->
// volume, the disk known to WMI as physical drive 12 and the volume linked
// from \DosDevices\E:.
struct UsbStick : FakeResolvePlatform {
  UsbStick() {
    number = {kDeviceTypeDisk, 12, 1};
    add(kRoot, {u"HTREE\\ROOT\\0", 0, false, true, true, true, std::nullopt, std::nullopt});
    add(kHub,
        {u"USB\\ROOT_HUB20\\4&1", kRoot, false, true, true, true, std::nullopt, std::nullopt});
    add(kUsb, {u"USB\\VID_0781&PID_5567\\4C53", kHub, true, true, true, true, std::nullopt,
               u"USB Mass Storage Device"});
    add(kDisk, {u"USBSTOR\\DISK&VEN_SANDISK\\4C53&0", kUsb, false, true, true, true,
                u"SanDisk Cruzer USB Device", u"Disk drive"});
    add(kVolume, {u"STORAGE\\REMOVABLEMEDIA\\7&1F2A3B4C&0&RM", kDisk, false, true, true, true,
                  std::nullopt, u"Generic volume"});
    wmiRows[kDiskQuery12] = u"USBSTOR\\DISK&VEN_SANDISK\\4C53&0";
    mountedDevices[u"\\DosDevices\\E:"] = bytesOf(
        u"\\??\\STORAGE#RemovableMedia#7&1f2a3b4c&0&RM#{53f5630d-b6bf-11d0-94f2-00a0c91efb8b}");
  }
};

bool run(FakeResolvePlatform& p, RemovableDevice& d) { return resolveDevice(d, p); }

TEST(ResolveVolume, AVolumeThatCannotBeOpenedOrNumberedAsksNothingElse) {
  UsbStick unopenable;
  unopenable.volumeOpens = false;
  RemovableDevice d(u'E');
  EXPECT_FALSE(run(unopenable, d));
  EXPECT_EQ(unopenable.calls, (Calls{"volume \\\\.\\E:"}));

  UsbStick unnumbered;
  unnumbered.numberReads = false;
  RemovableDevice d2(u'E');
  EXPECT_FALSE(run(unnumbered, d2));
  // The handle is closed whatever the answer.
  EXPECT_EQ(unnumbered.calls, (Calls{"volume \\\\.\\E:", "number", "~volume"}));
  EXPECT_EQ(d2.instanceId[0], 0);
}

TEST(ResolveLookup, AStickFoundThroughWmiEjectsItsParentAndShowsTheDiskName) {
  UsbStick p;
  RemovableDevice d(u'E');
  ASSERT_TRUE(run(p, d));
  EXPECT_EQ(p.calls,
            (Calls{"volume \\\\.\\E:", "number", "~volume", kDiskQuery12Text,
                   "locate USBSTOR\\DISK&VEN_SANDISK\\4C53&0", "id 11",
                   "open USBSTOR\\DISK&VEN_SANDISK\\4C53&0", "friendly", "parent 11", "status 10",
                   "id 10", "open USB\\VID_0781&PID_5567\\4C53", "description"}));
  EXPECT_EQ(narrow(d.instanceId), "USB\\VID_0781&PID_5567\\4C53");
  EXPECT_EQ(narrow(d.friendlyName), "SanDisk Cruzer USB Device");
  EXPECT_EQ(narrow(d.deviceDescription), "USB Mass Storage Device");
  EXPECT_EQ(d.driveLetter, u'E');
  EXPECT_FALSE(p.volumeOpen);
}

TEST(ResolveLookup, OpticalDrivesAreFoundByLetterThroughWmiOnly) {
  for (uint32_t type : {kDeviceTypeCdRom, kDeviceTypeDvd}) {
    UsbStick p;
    p.number = {type, 0, 0};
    p.wmiRows[kCdQueryE] = u"USBSTOR\\DISK&VEN_SANDISK\\4C53&0";
    RemovableDevice d(u'E');
    EXPECT_TRUE(run(p, d));
    EXPECT_TRUE(p.called("wmi Select PNPDeviceID From Win32_CDROMDrive Where Drive=\"E:\""));

    // No row, or a row that names no present node: no fallback.
    for (bool rowless : {true, false}) {
      UsbStick none;
      none.number = {type, 0, 0};
      if (!rowless) none.wmiRows[kCdQueryE] = u"IDE\\CDROM\\GONE";
      RemovableDevice d2(u'E');
      EXPECT_FALSE(run(none, d2));
      EXPECT_FALSE(none.called("key"));
      EXPECT_FALSE(none.called("wmi Select PNPDeviceID From Win32_DiskDrive"));
    }
  }
}

TEST(ResolveLookup, OtherDeviceTypesAreRefusedWithoutAnyLookup) {
  for (uint32_t type : {0x00u, 0x08u, 0x24u, 0x2Du, 0x32u}) {
    UsbStick p;
    p.number = {type, 12, 1};
    RemovableDevice d(u'E');
    EXPECT_FALSE(run(p, d));
    EXPECT_EQ(p.calls, (Calls{"volume \\\\.\\E:", "number", "~volume"}));
  }
}

TEST(ResolveLookup, ADiskWithoutPartitionsIsLookedUpInTheRegistryOnly) {
  UsbStick p;
  p.number = {kDeviceTypeDisk, 12, kNotPartitionable};
  p.nodes[kVolume].removable = true;
  RemovableDevice d(u'E');
  ASSERT_TRUE(run(p, d));
  EXPECT_FALSE(p.called("wmi"));
  EXPECT_TRUE(p.called("locate STORAGE\\REMOVABLEMEDIA\\7&1F2A3B4C&0&RM"));
}

TEST(ResolveLookup, ADiskFallsBackToTheRegistryWhenWmiYieldsNoNode) {
  // No row (or a null value, or an error): the platform answers nothing.
  UsbStick rowless;
  rowless.wmiRows.clear();
  // A row whose id locates no present node.
  UsbStick unknown;
  unknown.wmiRows[kDiskQuery12] = u"IDE\\Disk\\VEN_WINE";
  for (UsbStick* p : {&rowless, &unknown}) {
    RemovableDevice d(u'E');
    ASSERT_TRUE(run(*p, d));
    EXPECT_TRUE(p->called(kDiskQuery12Text));
    EXPECT_TRUE(p->called("value size \\DosDevices\\E:"));
    // Found through the registry: the volume node climbs to the USB device.
    EXPECT_EQ(narrow(d.instanceId), "USB\\VID_0781&PID_5567\\4C53");
    EXPECT_EQ(d.friendlyName[0], 0);  // the volume node has no friendly name
    EXPECT_FALSE(p->keyOpen);
  }
  UsbStick neither;
  neither.wmiRows.clear();
  neither.mountedDevices.clear();
  RemovableDevice d(u'E');
  EXPECT_FALSE(run(neither, d));
  EXPECT_FALSE(neither.called("id"));
}

TEST(ResolveLookup, OnlyTheGivenLetterIsAskedFor) {
  UsbStick p;
  p.number = {kDeviceTypeDisk, 0, kNotPartitionable};
  RemovableDevice d(u'F');
  EXPECT_FALSE(run(p, d));
  EXPECT_TRUE(p.called("volume \\\\.\\F:"));
  EXPECT_TRUE(p.called("value size \\DosDevices\\F:"));
  EXPECT_FALSE(p.called("value read"));
}

TEST(ResolveClimb, ANodeFromWmiNeedsARemovableParent) {
  // Parent removable: the parent. Grandparent removable only: nothing.
  UsbStick grandparentOnly;
  grandparentOnly.nodes[kUsb].removable = false;
  grandparentOnly.nodes[kHub].removable = true;
  RemovableDevice d(u'E');
  EXPECT_FALSE(run(grandparentOnly, d));
  EXPECT_EQ(d.instanceId[0], 0);
  EXPECT_FALSE(grandparentOnly.called("parent 10"));

  // A parent whose status cannot be read counts as not removable.
  UsbStick unreadable;
  unreadable.nodes[kUsb].statusReadable = false;
  RemovableDevice d2(u'E');
  EXPECT_FALSE(run(unreadable, d2));

  // A node at the root of the tree has no parent.
  UsbStick orphan;
  orphan.nodes[kDisk].parent = 0;
  RemovableDevice d3(u'E');
  EXPECT_FALSE(run(orphan, d3));
  EXPECT_EQ(d3.instanceId[0], 0);
}

TEST(ResolveClimb, ANodeFromTheRegistryMayBeItselfItsParentOrItsGrandparent) {
  struct Case {
    bool volume, disk, usb;
    const char* target;  // null: no target
  };
  const Case cases[] = {
      {true, true, true, "STORAGE\\REMOVABLEMEDIA\\7&1F2A3B4C&0&RM"},
      {false, true, true, "USBSTOR\\DISK&VEN_SANDISK\\4C53&0"},
      {false, false, true, "USB\\VID_0781&PID_5567\\4C53"},
      {false, false, false, nullptr},
  };
  for (const Case& c : cases) {
    UsbStick p;
    p.number = {kDeviceTypeDisk, 12, kNotPartitionable};
    p.nodes[kVolume].removable = c.volume;
    p.nodes[kDisk].removable = c.disk;
    p.nodes[kUsb].removable = c.usb;
    p.nodes[kHub].removable = true;  // three levels up is too far
    RemovableDevice d(u'E');
    EXPECT_EQ(run(p, d), c.target != nullptr);
    EXPECT_EQ(narrow(d.instanceId), c.target ? c.target : "");
  }
  // Itself removable: both names describe the volume node.
  UsbStick self;
  self.number = {kDeviceTypeDisk, 12, kNotPartitionable};
  self.nodes[kVolume].removable = true;
  self.nodes[kVolume].friendlyName = u"Stick volume";
  RemovableDevice d(u'E');
  ASSERT_TRUE(run(self, d));
  EXPECT_EQ(narrow(d.friendlyName), "Stick volume");
  EXPECT_EQ(narrow(d.deviceDescription), "Generic volume");
  EXPECT_FALSE(self.called("parent"));
}

TEST(ResolveClimb, AVolumeWhoseOwnStatusCannotBeReadStillClimbs) {
  UsbStick p;
  p.number = {kDeviceTypeDisk, 12, kNotPartitionable};
  p.nodes[kVolume].removable = true;
  p.nodes[kVolume].statusReadable = false;
  RemovableDevice d(u'E');
  ASSERT_TRUE(run(p, d));
  EXPECT_EQ(narrow(d.instanceId), "USB\\VID_0781&PID_5567\\4C53");
}

TEST(ResolveNames, AMissingFriendlyNameIsNoFailureButAMissingDescriptionIs) {
  UsbStick nameless;
  nameless.nodes[kDisk].friendlyName.reset();
  RemovableDevice d(u'E');
  d.friendlyName[0] = u'x';
  ASSERT_TRUE(run(nameless, d));
  EXPECT_EQ(d.friendlyName[0], 0);
  EXPECT_EQ(narrow(d.deviceDescription), "USB Mass Storage Device");

  UsbStick undescribed;
  undescribed.nodes[kUsb].description.reset();
  RemovableDevice d2(u'E');
  EXPECT_FALSE(run(undescribed, d2));
  EXPECT_EQ(d2.instanceId[0], 0);
}

TEST(ResolveNames, EveryOtherFailedStepAfterTheLookupEndsResolution) {
  auto expectFailure = [](UsbStick& p, const char* lastCall) {
    RemovableDevice d(u'E');
    EXPECT_FALSE(run(p, d));
    EXPECT_EQ(d.instanceId[0], 0) << lastCall;
    EXPECT_EQ(p.calls.back(), lastCall);
  };
  UsbStick foundIdUnreadable;
  foundIdUnreadable.nodes[kDisk].idReadable = false;
  expectFailure(foundIdUnreadable, "id 11");
  UsbStick foundUnopenable;
  foundUnopenable.nodes[kDisk].openable = false;
  expectFailure(foundUnopenable, "open USBSTOR\\DISK&VEN_SANDISK\\4C53&0");
  UsbStick targetIdUnreadable;
  targetIdUnreadable.nodes[kUsb].idReadable = false;
  expectFailure(targetIdUnreadable, "id 10");
  UsbStick targetUnopenable;
  targetUnopenable.nodes[kUsb].openable = false;
  expectFailure(targetUnopenable, "open USB\\VID_0781&PID_5567\\4C53");
}

TEST(ResolveRegistry, TheKeyIsClosedOnEveryPathAndNothingIsLocatedForNoLink) {
  UsbStick closedKey;
  closedKey.keyOpens = false;
  EXPECT_EQ(locateFromMountedDevices(u'E', closedKey), 0u);
  EXPECT_EQ(closedKey.calls, (Calls{"key"}));

  UsbStick missing;
  EXPECT_EQ(locateFromMountedDevices(u'G', missing), 0u);
  EXPECT_EQ(missing.calls, (Calls{"key", "value size \\DosDevices\\G:", "~key"}));

  // A disk signature and offset, as most drive values hold.
  UsbStick binary;
  binary.mountedDevices[u"\\DosDevices\\E:"] = {0x4D, 0x3C, 0x2B, 0x1A, 0, 0x7E, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(locateFromMountedDevices(u'E', binary), 0u);
  EXPECT_FALSE(binary.called("locate"));
  EXPECT_EQ(binary.calls.back(), "~key");

  UsbStick unlocatable;
  unlocatable.nodes.erase(kVolume);
  EXPECT_EQ(locateFromMountedDevices(u'E', unlocatable), 0u);
  EXPECT_EQ(unlocatable.calls.back(), "~key");

  UsbStick found;
  EXPECT_EQ(locateFromMountedDevices(u'E', found), kVolume);
  EXPECT_EQ(found.calls.back(), "~key");
}

TEST(ResolveRegistry, ALinkWithoutTerminatorOrOneThatGrewStaysInsideTheBuffer) {
  UsbStick unterminated;
  unterminated.mountedDevices[u"\\DosDevices\\E:"] =
      bytesOf(u"\\??\\STORAGE#RemovableMedia#7&1f2a3b4c&0&RM#{53f5630d}", false);
  EXPECT_EQ(locateFromMountedDevices(u'E', unterminated), kVolume);

  // The second read fills every unit it is given, with no terminator and no '#'.
  UsbStick grown;
  grown.mountedDevices[u"\\DosDevices\\E:"] = bytesOf(u"\\??\\X#Y#Z#{G}");
  grown.valueGrows = true;
  EXPECT_EQ(locateFromMountedDevices(u'E', grown), 0u);
  EXPECT_FALSE(grown.called("locate"));
}

TEST(ResolveRegistry, AnEmptyIdFromALinkWithoutHashLocatesTheRootWhichIsNoTarget) {
  UsbStick p;
  p.number = {kDeviceTypeDisk, 12, kNotPartitionable};
  p.mountedDevices[u"\\DosDevices\\E:"] = bytesOf(u"\\??\\NOHASHHERE");
  p.nodes[kRoot].id = u"";  // the configuration manager's answer for an empty id
  RemovableDevice d(u'E');
  EXPECT_FALSE(run(p, d));
  EXPECT_TRUE(p.called("locate "));
  EXPECT_TRUE(p.called("parent 1"));
  EXPECT_EQ(d.instanceId[0], 0);
}

}  // namespace
}  // namespace tarnwick
