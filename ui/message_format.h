// Formatting of the catalogue's messages into fixed buffers. The placeholders
// are those of the catalogue: %s a text, %c one UTF-16 unit, %d a signed
// 32-bit number, %% a percent sign. Nothing is ever written past a buffer:
// a text that does not fit is shortened, and always terminated.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarnwick {

struct FormatArgument {
  enum class Kind : uint8_t { Text, Unit, Number };
  Kind kind = Kind::Text;
  const char16_t* text = nullptr;  // null counts as empty
  char16_t unit = 0;
  int32_t number = 0;

  static FormatArgument ofText(const char16_t* t) {
    FormatArgument a;
    a.text = t;
    return a;
  }
  static FormatArgument ofUnit(char16_t u) {
    FormatArgument a;
    a.kind = Kind::Unit;
    a.unit = u;
    return a;
  }
  static FormatArgument ofNumber(int32_t n) {
    FormatArgument a;
    a.kind = Kind::Number;
    a.number = n;
    return a;
  }
};

// Texts longer than this many units are shown as their beginning and "..."
// (never splitting a surrogate pair); kNoTextLimit shows them whole.
constexpr size_t kNoTextLimit = static_cast<size_t>(-1);

// Formats into `buffer` of `capacity` units (capacity > 0), writing at most
// capacity - 1 units and the terminator. Placeholders take the arguments in
// order; a placeholder without an argument, or with one of another kind,
// stands for nothing. Returns the length the whole result would have.
size_t formatMessage(char16_t* buffer, size_t capacity, const char16_t* format,
                     const FormatArgument* arguments, size_t count,
                     size_t textLimit = kNoTextLimit);

// Formats so that the message fits `capacity`: when the whole result is too
// long, the text arguments are shortened (the longest first, each ending in
// "...") so that the message's own words, numbers and letters stay whole; only
// when even that is not enough is the end cut off. False when anything was
// shortened.
bool formatFitting(char16_t* buffer, size_t capacity, const char16_t* format,
                   const FormatArgument* arguments, size_t count);

template <size_t N, size_t M>
bool formatFitting(char16_t (&buffer)[N], const char16_t* format,
                   const FormatArgument (&arguments)[M]) {
  return formatFitting(buffer, N, format, arguments, M);
}

}  // namespace tarnwick
