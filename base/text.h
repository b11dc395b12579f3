// Fixed-size UTF-16 text buffers, the way the program keeps all its text.
// Every buffer holds a zero-terminated text; writers never go past its
// capacity and always leave a terminator, shortening what does not fit.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarnwick {

// Upper-cases a-z by subtracting 32; every other unit comes back unchanged.
constexpr char16_t upperAscii(char16_t unit) {
  return (unit >= u'a' && unit <= u'z') ? static_cast<char16_t>(unit - 32) : unit;
}

// Number of units before the terminating zero.
size_t textLength(const char16_t* text);

// True when both texts hold the same units.
bool textEquals(const char16_t* a, const char16_t* b);

// Copies `source` into `buffer` of `capacity` units (capacity > 0).
// Returns false when the text had to be shortened to fit.
bool copyText(char16_t* buffer, size_t capacity, const char16_t* source);

// Appends `source` to the text already in `buffer`; false when shortened.
bool appendText(char16_t* buffer, size_t capacity, const char16_t* source);

// Appends one unit; false when there was no room for it.
bool appendUnit(char16_t* buffer, size_t capacity, char16_t unit);

// Appends `value` in decimal (with a '-' when negative); false when shortened.
bool appendDecimal(char16_t* buffer, size_t capacity, int64_t value);

template <size_t N>
bool copyText(char16_t (&buffer)[N], const char16_t* source) {
  return copyText(buffer, N, source);
}
template <size_t N>
bool appendText(char16_t (&buffer)[N], const char16_t* source) {
  return appendText(buffer, N, source);
}
template <size_t N>
bool appendUnit(char16_t (&buffer)[N], char16_t unit) {
  return appendUnit(buffer, N, unit);
}
template <size_t N>
bool appendDecimal(char16_t (&buffer)[N], int64_t value) {
  return appendDecimal(buffer, N, value);
}

}  // namespace tarnwick
