#include "ui/catalogue.h"

#include "base/text.h"
#include "resources/resource_ids.h"

namespace tarnwick {

// The catalogue's numbering is the string table's.
static_assert(kCaptionStringId == IDS_CAPTION && kRootNameStringId == IDS_ROOT_NAME,
              "shared texts");
static_assert(messageId(Message::SafeText, true) == IDS_SAFE_TEXT_JA &&
                  messageId(Message::BlockerRunning, true) == IDS_RUNNING_TEXT_JA &&
                  messageId(Message::BlockerHolding, true) == IDS_OPEN_TEXT_JA &&
                  messageId(Message::PromptRunning, true) == IDS_RUNNING_PROMPT_JA &&
                  messageId(Message::PromptHolding, true) == IDS_OPEN_PROMPT_JA &&
                  messageId(Message::SafeTitle, true) == IDS_SAFE_TITLE_JA &&
                  messageId(Message::BlockerTitle, true) == IDS_BLOCKER_TITLE_JA &&
                  messageId(Message::ShutdownWarning, true) == IDS_SHUTDOWN_WARNING_JA,
              "Japanese texts");
static_assert(messageId(Message::SafeText, false) == IDS_SAFE_TEXT_EN &&
                  messageId(Message::BlockerRunning, false) == IDS_RUNNING_TEXT_EN &&
                  messageId(Message::BlockerHolding, false) == IDS_OPEN_TEXT_EN &&
                  messageId(Message::PromptRunning, false) == IDS_RUNNING_PROMPT_EN &&
                  messageId(Message::PromptHolding, false) == IDS_OPEN_PROMPT_EN &&
                  messageId(Message::SafeTitle, false) == IDS_SAFE_TITLE_EN &&
                  messageId(Message::BlockerTitle, false) == IDS_BLOCKER_TITLE_EN &&
                  messageId(Message::ShutdownWarning, false) == IDS_SHUTDOWN_WARNING_EN,
              "English texts");

void displayName(const char16_t* path, const char16_t* rootName,
                 char16_t (&name)[kDisplayNameCapacity]) {
  name[0] = 0;
  const size_t length = path != nullptr ? textLength(path) : 0;
  if (length == 0) return;
  if (path[length - 1] == u'\\') {
    copyText(name, rootName != nullptr ? rootName : u"");
    return;
  }
  size_t start = 0;
  for (size_t i = 0; i < length; ++i) {
    if (path[i] == u'\\') start = i + 1;
  }
  const size_t n = length - start;
  const size_t keep = n >= kDisplayNameLimit ? kDisplayNameLimit : n;
  for (size_t i = 0; i < keep; ++i) name[i] = path[start + i];
  name[keep] = 0;
  if (n >= kDisplayNameLimit) appendText(name, u"...");
}

Message blockerMessage(const BlockerFacts& facts, bool prompt) {
  if (facts.runsFromDrive) return prompt ? Message::PromptRunning : Message::BlockerRunning;
  return prompt ? Message::PromptHolding : Message::BlockerHolding;
}

size_t blockerArguments(const BlockerFacts& facts, bool japanese, FormatArgument (&arguments)[4]) {
  const FormatArgument letter = FormatArgument::ofUnit(facts.driveLetter);
  const FormatArgument image = FormatArgument::ofText(facts.imageName);
  // The system formatter prints the process id as a signed number.
  const FormatArgument pid = FormatArgument::ofNumber(static_cast<int32_t>(facts.holderPid));
  const FormatArgument open = FormatArgument::ofText(facts.openName);
  if (facts.runsFromDrive) {
    if (japanese) {  // "%c: ドライブの '%s' (PID=%d) ..."
      arguments[0] = letter, arguments[1] = image, arguments[2] = pid;
    } else {  // "'%s' in %c: drive is running now. (PID=%d) ..."
      arguments[0] = image, arguments[1] = letter, arguments[2] = pid;
    }
    return 3;
  }
  if (japanese) {  // "'%s' (PID=%d) が %c: ドライブの '%s' を開いています。..."
    arguments[0] = image, arguments[1] = pid, arguments[2] = letter, arguments[3] = open;
  } else {  // "'%s' in %c: drive is opened by '%s'. (PID=%d) ..."
    arguments[0] = open, arguments[1] = letter, arguments[2] = image, arguments[3] = pid;
  }
  return 4;
}

}  // namespace tarnwick
