#include "device/mounted_device_link.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "device/fake_resolve_platform.h"

namespace tarnwick {
namespace {

// Parses a copy of `link`; nullopt when it is no link.
std::optional<std::u16string> parse(std::u16string link) {
  const char16_t* id = instanceIdFromLink(link.data());
  if (id == nullptr) return std::nullopt;
  return std::u16string(id);
}

TEST(MountedDeviceLink, EitherPrefixFormIsAcceptedButNotAMixture) {
  EXPECT_EQ(parse(u"\\??\\USBSTOR#Disk#7&1&0#{53f5630d}"), u"USBSTOR\\DISK\\7&1&0");
  EXPECT_EQ(parse(u"_??_USBSTOR#Disk#7&1&0#{53f5630d}"), u"USBSTOR\\DISK\\7&1&0");
  for (const char16_t* refused :
       {u"\\??_USBSTOR#Disk#1#{g}", u"_??\\USBSTOR#Disk#1#{g}", u"\\\\?\\USBSTOR#Disk#1#{g}",
        u"\\?\\USBSTOR#1#{g}", u"/?\?/USBSTOR#1#{g}", u"??\\USBSTOR#1#{g}", u"\\??", u"_?", u"\\",
        u"", u"DMIO:ID:\x1234\x5678"}) {
    EXPECT_EQ(parse(refused), std::nullopt) << narrow(refused);
  }
}

TEST(MountedDeviceLink, KeepsWhatPrecedesTheLastHashInUpperCaseWithBackslashes) {
  EXPECT_EQ(
      parse(u"\\??\\STORAGE#RemovableMedia#7&1f2a3b4c&0&RM#{53f5630d-b6bf-11d0-94f2-00a0c91efb8b}"),
      u"STORAGE\\REMOVABLEMEDIA\\7&1F2A3B4C&0&RM");
  // Lower case from the first unit on; digits, '&', '_' and others untouched.
  EXPECT_EQ(parse(u"\\??\\abc_09&z#x{y}~#tail"), u"ABC_09&Z\\X{Y}~");
  // Only a-z change: letters outside ASCII and the units just around a-z stay.
  EXPECT_EQ(parse(u"\\??\\`az{\u00e4\u00df#"), u"`AZ{\u00e4\u00df");
  // Everything after the last '#' goes, even text that looks like an id.
  EXPECT_EQ(parse(u"\\??\\A#B#C#D#E"), u"A\\B\\C\\D");
  EXPECT_EQ(parse(u"\\??\\#"), u"");
  EXPECT_EQ(parse(u"\\??\\trailing#"), u"TRAILING");
}

TEST(MountedDeviceLink, ALinkWithoutHashBecomesAnEmptyId) {
  EXPECT_EQ(parse(u"\\??\\USBSTOR"), u"");
  EXPECT_EQ(parse(u"_??_"), u"");
}

TEST(MountedDeviceLink, RoomForTheDataIsComputedWithoutOverflow) {
  EXPECT_EQ(mountedDeviceUnits(0), 1u);
  EXPECT_EQ(mountedDeviceUnits(1), 2u);
  EXPECT_EQ(mountedDeviceUnits(2), 2u);
  EXPECT_EQ(mountedDeviceUnits(5), 4u);
  EXPECT_EQ(mountedDeviceUnits(0xFFFFFFFBu), 0x7FFFFFFFu);
  // Too large to tell the read its size in 32 bits.
  EXPECT_EQ(mountedDeviceUnits(0xFFFFFFFDu), 0u);
  EXPECT_EQ(mountedDeviceUnits(0xFFFFFFFFu), 0u);
}

// What the id must be for a value's bytes, worked out independently of the
// parser: whole units first, a half unit padded with zero, up to the first
// zero unit.
std::optional<std::u16string> expectedId(const std::vector<uint8_t>& data) {
  std::u16string text;
  for (size_t i = 0; i < data.size(); i += 2) {
    char16_t u = data[i];
    if (i + 1 < data.size()) u = static_cast<char16_t>(u | data[i + 1] << 8);
    if (u == 0) break;
    text += u;
  }
  if (text.size() < 4) return std::nullopt;
  if (!(text.compare(0, 4, u"\\??\\") == 0 || text.compare(0, 4, u"_??_") == 0))
    return std::nullopt;
  std::u16string rest = text.substr(4);
  const size_t hash = rest.rfind(u'#');
  rest = hash == std::u16string::npos ? u"" : rest.substr(0, hash);
  for (char16_t& u : rest) {
    if (u == u'#') u = u'\\';
    if (u >= u'a' && u <= u'z') u = static_cast<char16_t>(u - 32);
  }
  return rest;
}

// Any bytes at all in the value: odd lengths, no terminator, binary data,
// very long data. The parser must find exactly the expected id, or none, and
// never read or write outside the buffer (run this under a sanitizer to see
// the latter).
TEST(MountedDeviceLink, RandomValuesAreParsedSafely) {
  std::mt19937 random(20240611);
  const char16_t alphabet[] = u"\\_?#abzAZ09&{}-\x00e4\xd800\xffff";
  for (int round = 0; round < 20000; ++round) {
    std::vector<uint8_t> data;
    const size_t length = random() % 8 == 0 ? random() % 70000 : random() % 300;
    const int kind = random() % 3;  // raw bytes, link-like units, link-like behind a prefix
    if (kind == 2) {
      const char16_t* prefix = random() % 2 ? u"\\??\\" : u"_??_";
      for (int i = 0; i < 4; ++i) data.insert(data.end(), {uint8_t(prefix[i]), 0});
    }
    while (data.size() < length) {
      if (kind == 0) {
        data.push_back(static_cast<uint8_t>(random()));
      } else {
        const char16_t u = random() % 50 == 0 ? 0 : alphabet[random() % 17];
        data.insert(data.end(), {uint8_t(u & 0xFF), uint8_t(u >> 8)});
      }
    }
    if (random() % 3 == 0 && !data.empty()) data.pop_back();  // odd length

    FakeResolvePlatform p;
    p.mountedDevices[u"\\DosDevices\\E:"] = data;
    locateFromMountedDevices(u'E', p);
    const auto expected = expectedId(data);
    const std::string located = p.calls.size() > 4 ? p.calls[3] : "";
    if (expected) {
      ASSERT_EQ(located, "locate " + narrow(*expected)) << "round " << round;
    } else {
      ASSERT_EQ(located.rfind("locate", 0), std::string::npos) << "round " << round;
    }
    ASSERT_EQ(p.lastValueUnits, mountedDeviceUnits(static_cast<uint32_t>(data.size())));
    ASSERT_FALSE(p.keyOpen);
  }
}

}  // namespace
}  // namespace tarnwick
