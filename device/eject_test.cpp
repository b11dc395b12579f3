#include "device/eject.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "device/fake_resolve_platform.h"

namespace tarnwick {
namespace {

using Calls = std::vector<std::string>;

// Records every call; answers a scripted result and, when the request has
// room for them, a veto type and name.
struct FakeEjectPlatform : EjectPlatform {
  bool setCreated = true;
  bool present = true;
  uint32_t result = kCrSuccess;
  uint32_t vetoType = 0;
  std::u16string vetoName;
  bool fillWholeName = false;  // writes every unit it is given, no terminator

  Calls calls;
  int setsAlive = 0;
  // The veto fields as the request found them.
  uint32_t typeAtRequest = 0xDEAD;
  std::u16string nameAtRequest;

  bool createVolumeSet() override {
    calls.push_back("set");
    if (setCreated) ++setsAlive;
    return setCreated;
  }
  bool openDeviceInfo(const char16_t* id, DevNode& node) override {
    calls.push_back("open " + narrow(id));
    if (present) node = 77;
    return present;
  }
  uint32_t requestEject(DevNode node, uint32_t* type, char16_t* name, uint32_t length) override {
    calls.push_back("eject " + std::to_string(node) + (type ? " type" : " -") +
                    (name ? " name" : " -") + " " + std::to_string(length));
    if (type) typeAtRequest = *type;
    if (name) nameAtRequest.assign(name, length);
    if (result != kCrSuccess && type && name) {
      *type = vetoType;
      if (fillWholeName) {
        for (uint32_t i = 0; i < length; ++i) name[i] = u'N';
      } else {
        std::memcpy(name, vetoName.c_str(), (vetoName.size() + 1) * sizeof(char16_t));
      }
    }
    return result;
  }
  void destroyVolumeSet() override {
    calls.push_back("~set");
    --setsAlive;
  }
};

RemovableDevice resolvedStick(bool wantVetoInfo) {
  RemovableDevice d(u'E');
  std::memcpy(d.instanceId, u"USB\\VID_0781&PID_5567\\4C53", 27 * sizeof(char16_t));
  d.wantVetoInfo = wantVetoInfo ? 1 : 0;
  return d;
}

TEST(Eject, EachRequestMakesOpensAndDestroysItsOwnSet) {
  FakeEjectPlatform p;
  RemovableDevice d = resolvedStick(false);
  EXPECT_TRUE(ejectDevice(d, p));
  EXPECT_TRUE(ejectDevice(d, p));
  const Calls once{"set", "open USB\\VID_0781&PID_5567\\4C53", "eject 77 - - 0", "~set"};
  Calls twice = once;
  twice.insert(twice.end(), once.begin(), once.end());
  EXPECT_EQ(p.calls, twice);
  EXPECT_EQ(p.setsAlive, 0);
}

TEST(Eject, VetoBuffersArePassedExactlyWhenWanted) {
  FakeEjectPlatform refused;
  refused.result = kCrRemoveVetoed;
  refused.vetoType = 6;  // an open handle
  refused.vetoName = u"\\Device\\HarddiskVolume3";
  RemovableDevice wanting = resolvedStick(true);
  EXPECT_FALSE(ejectDevice(wanting, refused));
  EXPECT_EQ(refused.calls[2], "eject 77 type name 260");
  EXPECT_EQ(wanting.vetoType, 6u);
  EXPECT_EQ(narrow(wanting.vetoName), "\\Device\\HarddiskVolume3");

  // Without buffers the system reports the veto itself; the fields stay cleared.
  FakeEjectPlatform refusedSilently = refused;
  refusedSilently.calls.clear();
  RemovableDevice quiet = resolvedStick(false);
  quiet.vetoType = 3;
  quiet.vetoName[0] = u'x';
  EXPECT_FALSE(ejectDevice(quiet, refusedSilently));
  EXPECT_EQ(refusedSilently.calls[2], "eject 77 - - 0");
  EXPECT_EQ(quiet.vetoType, 0u);
  EXPECT_EQ(quiet.vetoName[0], 0);
}

TEST(Eject, TheVetoFieldsAreClearedJustBeforeTheRequest) {
  FakeEjectPlatform p;
  p.result = kCrRemoveVetoed;
  p.vetoType = 5;
  p.vetoName = u"first";
  RemovableDevice d = resolvedStick(true);
  EXPECT_FALSE(ejectDevice(d, p));
  p.vetoName = u"2";
  EXPECT_FALSE(ejectDevice(d, p));
  EXPECT_EQ(p.typeAtRequest, 0u);
  EXPECT_EQ(p.nameAtRequest, std::u16string(kVetoNameUnits, u'\0'));
  EXPECT_EQ(narrow(d.vetoName), "2");
}

TEST(Eject, AnyResultButSuccessIsARefusal) {
  for (uint32_t result : {kCrRemoveVetoed, 0x01u, 0x0Du, 0x33u}) {
    FakeEjectPlatform p;
    p.result = result;
    RemovableDevice d = resolvedStick(true);
    EXPECT_FALSE(ejectDevice(d, p)) << result;
  }
}

TEST(Eject, AGoneDeviceOrAMissingSetLeavesTheLastVetoAsItWas) {
  FakeEjectPlatform gone;
  gone.present = false;
  RemovableDevice d = resolvedStick(true);
  d.vetoType = 6;
  d.vetoName[0] = u'v';
  EXPECT_FALSE(ejectDevice(d, gone));
  EXPECT_EQ(gone.calls, (Calls{"set", "open USB\\VID_0781&PID_5567\\4C53", "~set"}));
  EXPECT_EQ(d.vetoType, 6u);
  EXPECT_EQ(d.vetoName[0], u'v');

  FakeEjectPlatform noSet;
  noSet.setCreated = false;
  EXPECT_FALSE(ejectDevice(d, noSet));
  EXPECT_EQ(noSet.calls, (Calls{"set"}));
  EXPECT_EQ(d.vetoType, 6u);
}

TEST(Eject, AVetoNameThatFillsTheBufferIsTerminatedInsideIt) {
  FakeEjectPlatform p;
  p.result = kCrRemoveVetoed;
  p.fillWholeName = true;
  RemovableDevice d = resolvedStick(true);
  d.wantVetoInfo = 1;
  EXPECT_FALSE(ejectDevice(d, p));
  EXPECT_EQ(std::u16string(d.vetoName).size(), kVetoNameUnits - 1);
  EXPECT_EQ(d.wantVetoInfo, 1);  // the field after the name is untouched
}

}  // namespace
}  // namespace tarnwick
