// The text of a mounted-devices value that names a volume by its device
// interface link, such as
//   \??\STORAGE#RemovableMedia#7&1f2a3b4c&0&RM#{53f5630d-b6bf-11d0-94f2-00a0c91efb8b}
// Other values of the key hold binary disk signatures instead.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarnwick {

// Number of UTF-16 units to hold `bytes` bytes of value data followed by one
// zero unit; 0 when the data is too large to read into one buffer.
size_t mountedDeviceUnits(uint32_t bytes);

// Turns a link text into the device instance id it contains, in place: the
// text must begin with \??\ or _??_; what follows is cut at its last '#',
// every other '#' becomes a backslash and a-z become upper case. Returns the
// id (inside `text`, possibly empty), or null when the text is no link.
// `text` must be zero-terminated; the id is never longer than the text.
char16_t* instanceIdFromLink(char16_t* text);

}  // namespace tarnwick
