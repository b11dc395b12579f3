// The message catalogue: which string of the program's string table a notice
// uses, in which language, and the order in which each text takes its values.
// Every message is a pair: the Japanese text at the lower id, the English one
// 1000 higher; the language is chosen by id alone.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ui/message_format.h"

namespace tarnwick {

constexpr uint32_t kCaptionStringId = 501;   // "Tarnwick": prompt and warning caption
constexpr uint32_t kRootNameStringId = 502;  // "root": display name of a root folder

enum class Message : uint32_t {
  SafeText = 1,        // success balloon text
  BlockerRunning = 2,  // blocker balloon: the process runs from the drive
  BlockerHolding = 3,  // blocker balloon: the process holds a file or folder open
  PromptRunning = 4,   // terminate prompt: the process runs from the drive
  PromptHolding = 5,   // terminate prompt: the process holds a file or folder open
  SafeTitle = 6,       // success balloon title
  BlockerTitle = 7,    // blocker balloon title
  ShutdownWarning = 101,
};

constexpr uint16_t kJapaneseLanguageId = 0x411;

// Japanese texts exactly for the language id 1041; English for every other.
constexpr bool usesJapanese(uint16_t languageId) { return languageId == kJapaneseLanguageId; }

constexpr uint32_t messageId(Message message, bool japanese) {
  return (japanese ? 1000u : 2000u) + static_cast<uint32_t>(message);
}

// Buffer sizes in units, terminator included.
constexpr size_t kFormatCapacity = 128;  // a loaded message format
constexpr size_t kTitleCapacity = 64;    // balloon titles and the caption
constexpr size_t kRootNameCapacity = 16;
constexpr size_t kShutdownTextCapacity = 256;
constexpr size_t kPromptCapacity = 512;
constexpr size_t kBalloonTextCapacity = 256;  // the notification record's text field
constexpr size_t kDisplayNameLimit = 90;      // longer names are cut to this and "..."
constexpr size_t kDisplayNameCapacity = kDisplayNameLimit + 3 + 1;

// The short form of a path shown in messages: empty stays empty; a path
// ending in "\" is the root name; otherwise the part after the last "\".
// A name of 90 units or more becomes its first 90 units and "...".
void displayName(const char16_t* path, const char16_t* rootName,
                 char16_t (&name)[kDisplayNameCapacity]);

// What the blocker messages tell about the blocker that was found.
struct BlockerFacts {
  char16_t driveLetter = 0;
  uint32_t holderPid = 0;
  const char16_t* imageName = nullptr;  // display name of the process's executable
  const char16_t* openName = nullptr;   // display name of the item held open
  bool runsFromDrive = false;
};

// The balloon text (Message::BlockerRunning or BlockerHolding) or the
// prompt (PromptRunning or PromptHolding) that fits the finding.
Message blockerMessage(const BlockerFacts& facts, bool prompt);

// The values of a blocker message (balloon or prompt) in the order that its
// language's text takes them: the English texts name the open item first,
// the Japanese texts the process. Returns how many were written (3 or 4).
size_t blockerArguments(const BlockerFacts& facts, bool japanese, FormatArgument (&arguments)[4]);

}  // namespace tarnwick
