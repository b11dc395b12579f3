// The mounted-devices value of a drive, as the registry hands it over: any
// bytes, of a size that may change between asking for it and reading it.
// Input: one byte of how much the value grows after its size was asked for
// (0-15 bytes), then the value's data.
#include <optional>

#include "device/fake_resolve_platform.h"
#include "device/mounted_device_link.h"
#include "device/resolve.h"
#include "fuzz/fuzz_support.h"

using namespace tarnwick;

namespace {

constexpr char16_t kValueName[] = u"\\DosDevices\\E:";

// The instance id that a link text names, or nothing when it is no link.
std::optional<std::u16string> expectedId(const std::u16string& text) {
  if (text.size() < 4) return std::nullopt;
  const char16_t lead = text[0];
  if ((lead != u'\\' && lead != u'_') || text[1] != u'?' || text[2] != u'?' || text[3] != lead) {
    return std::nullopt;
  }
  std::u16string id = text.substr(4);
  const size_t lastHash = id.rfind(u'#');
  id.resize(lastHash == std::u16string::npos ? 0 : lastHash);
  for (char16_t& unit : id) {
    if (unit == u'#')
      unit = u'\\';
    else if (unit >= u'a' && unit <= u'z')
      unit = static_cast<char16_t>(unit - 32);
  }
  return id;
}

struct RegistryValue : FakeResolvePlatform {
  std::vector<uint8_t> value;
  uint32_t reportedSize = 0;
  bool located = false;
  std::u16string locatedId;

  bool queryMountedDevice(const char16_t* name, void* data, uint32_t& bytes) override {
    FUZZ_CHECK(std::u16string(name) == kValueName);
    if (data == nullptr) {
      bytes = reportedSize;
      return true;
    }
    if (value.size() > bytes) return false;  // the value no longer fits
    if (!value.empty()) std::memcpy(data, value.data(), value.size());
    bytes = static_cast<uint32_t>(value.size());
    return true;
  }
  bool locateDevNode(const char16_t* id, DevNode& node) override {
    FUZZ_CHECK(!located);
    located = true;
    locatedId = id;
    node = 7;
    return true;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  uint32_t raw = 0;
  std::memcpy(&raw, data, size < 4 ? size : 4);
  const size_t rawUnits = mountedDeviceUnits(raw);
  if (rawUnits != 0) {
    FUZZ_CHECK(rawUnits * 2 >= static_cast<uint64_t>(raw) + 2);
    FUZZ_CHECK(rawUnits * 2 <= UINT32_MAX);
  } else {
    FUZZ_CHECK(static_cast<uint64_t>(raw) + 3 > UINT32_MAX);  // only the very largest sizes
  }

  const uint32_t growth = data[0] & 0x0F;
  RegistryValue registry;
  registry.value.assign(data + 1, data + size);
  registry.reportedSize = registry.value.size() > growth ? registry.value.size() - growth : 0;

  // What the reader is expected to find: the value in a buffer of the
  // announced size, its last unit a terminator.
  std::optional<std::u16string> expected;
  const size_t units = mountedDeviceUnits(registry.reportedSize);
  FUZZ_CHECK(units > 0);
  if (registry.value.size() <= units * 2) {
    std::u16string buffer(units, u'\0');
    if (!registry.value.empty())
      std::memcpy(&buffer[0], registry.value.data(), registry.value.size());
    buffer[units - 1] = 0;
    expected = expectedId(fuzz::untilZero(buffer));
  }

  const DevNode node = locateFromMountedDevices(u'E', registry);
  FUZZ_CHECK(registry.located == expected.has_value());
  FUZZ_CHECK(node == (expected ? 7u : 0u));
  if (expected) FUZZ_CHECK(registry.locatedId == *expected);

  // The text alone, in place, in an exactly sized buffer.
  std::u16string text = fuzz::decodeText(data + 1, size - 1);
  text = fuzz::untilZero(text);
  fuzz::ExactText link(text);
  const char16_t* id = instanceIdFromLink(link.get());
  const std::optional<std::u16string> wanted = expectedId(text);
  FUZZ_CHECK((id != nullptr) == wanted.has_value());
  if (id != nullptr) {
    FUZZ_CHECK(id == link.get() + 4);
    FUZZ_CHECK(std::u16string(id) == *wanted);
  } else {
    FUZZ_CHECK(std::u16string(link.get()) == text);  // left as it was
  }
  return 0;
}
