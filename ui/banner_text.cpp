#include "ui/banner_text.h"

#include "base/text.h"
#include "ui/message_format.h"

namespace tarnwick {

size_t formatUnplugText(char16_t (&text)[kBannerTextCapacity], char16_t driveLetter,
                        const char16_t* friendlyName) {
  const FormatArgument arguments[] = {FormatArgument::ofUnit(driveLetter),
                                      FormatArgument::ofText(friendlyName)};
  formatFitting(text, u"Unplug  %c:  Drive  -  %s", arguments);
  return textLength(text);
}

size_t formatUnpluggedText(char16_t (&text)[kBannerTextCapacity], const char16_t* friendlyName) {
  const FormatArgument arguments[] = {FormatArgument::ofText(friendlyName)};
  formatFitting(text, u"%s  can be unplugged.", arguments);
  return textLength(text);
}

}  // namespace tarnwick
