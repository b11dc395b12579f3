#include "device/mounted_device_link.h"

namespace tarnwick {

size_t mountedDeviceUnits(uint32_t bytes) {
  // Computed in 64 bits: the size comes from the registry and may be anything.
  uint64_t units = (static_cast<uint64_t>(bytes) + 1) / 2 + 1;
  // The read is told the buffer's size in bytes as a 32-bit count.
  if (units * 2 > UINT32_MAX || units > SIZE_MAX / sizeof(char16_t)) return 0;
  return static_cast<size_t>(units);
}

char16_t* instanceIdFromLink(char16_t* text) {
  // Either \??\ or _??_: the first and the fourth unit must be the same.
  // Each test reads the next unit only after the previous one was non-zero.
  const char16_t lead = text[0];
  if (lead != u'\\' && lead != u'_') return nullptr;
  if (text[1] != u'?' || text[2] != u'?' || text[3] != lead) return nullptr;

  char16_t* id = text + 4;
  char16_t* lastHash = nullptr;
  for (char16_t* at = id; *at != 0; ++at) {
    if (*at == u'#') lastHash = at;
  }
  // The last '#' starts the interface class GUID, which is not part of the id.
  if (lastHash != nullptr) {
    *lastHash = 0;
  } else {
    *id = 0;
  }
  for (char16_t* at = id; *at != 0; ++at) {
    if (*at == u'#') {
      *at = u'\\';
    } else if (*at >= u'a' && *at <= u'z') {
      *at = static_cast<char16_t>(*at - 32);
    }
  }
  return id;
}

}  // namespace tarnwick
