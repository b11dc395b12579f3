#include "blocker/drive_path.h"

#include "base/text.h"

namespace tarnwick {
namespace {

// Units after the device prefix when `name` begins with it, or null.
const char16_t* restAfterDevice(const char16_t* name, const DevicePrefix& prefix) {
  for (size_t i = 0; i < prefix.length; ++i) {
    if (name[i] != prefix.units[i]) return nullptr;  // also stops at the name's end
  }
  return name + prefix.length;
}

// Units after "\??\X:\" when `name` is in the DOS-device form of the letter, or null.
const char16_t* restAfterDosDevice(const char16_t* name, char16_t upperLetter) {
  const char16_t* const form = u"\\??\\";
  for (size_t i = 0; i < 4; ++i) {
    if (name[i] != form[i]) return nullptr;
  }
  if (name[4] == 0 || upperAscii(name[4]) != upperLetter || name[5] != u':' || name[6] != u'\\')
    return nullptr;
  return name + 7;
}

}  // namespace

bool makeDevicePrefix(const char16_t* deviceName, DevicePrefix& prefix) {
  size_t n = 0;
  while (n < kDeviceNameUnits && deviceName[n] != 0) ++n;
  // An empty name would make every name that starts with a backslash match.
  if (n == 0 || n == kDeviceNameUnits) return false;
  for (size_t i = 0; i < n; ++i) prefix.units[i] = deviceName[i];
  prefix.units[n] = u'\\';
  prefix.length = n + 1;
  return true;
}

bool drivePathOf(const char16_t* name, const DevicePrefix& prefix, char16_t upperLetter,
                 char16_t* path, size_t capacity) {
  const char16_t* rest = restAfterDevice(name, prefix);
  if (rest == nullptr) rest = restAfterDosDevice(name, upperLetter);
  if (rest == nullptr || capacity < 4) return false;
  path[0] = upperLetter;
  path[1] = u':';
  path[2] = u'\\';
  path[3] = 0;
  return appendText(path, capacity, rest);
}

}  // namespace tarnwick
