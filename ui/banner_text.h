// The banner's own text line (English only, unlike the notices).
#pragma once

#include <cstddef>

namespace tarnwick {

constexpr size_t kBannerTextCapacity = 512;

// "Unplug  E:  Drive  -  <name>": the line while the banner waits or retries.
// Returns its length in units.
size_t formatUnplugText(char16_t (&text)[kBannerTextCapacity], char16_t driveLetter,
                        const char16_t* friendlyName);

// "<name>  can be unplugged.": the line after a successful ejection.
size_t formatUnpluggedText(char16_t (&text)[kBannerTextCapacity], const char16_t* friendlyName);

}  // namespace tarnwick
