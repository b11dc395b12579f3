#include "base/text.h"

namespace tarnwick {

size_t textLength(const char16_t* text) {
  size_t n = 0;
  while (text[n] != 0) ++n;
  return n;
}

bool textEquals(const char16_t* a, const char16_t* b) {
  for (;; ++a, ++b) {
    if (*a != *b) return false;
    if (*a == 0) return true;
  }
}

bool copyText(char16_t* buffer, size_t capacity, const char16_t* source) {
  if (capacity == 0) return false;
  buffer[0] = 0;
  return appendText(buffer, capacity, source);
}

bool appendText(char16_t* buffer, size_t capacity, const char16_t* source) {
  if (capacity == 0) return false;
  size_t at = 0;
  while (at < capacity && buffer[at] != 0) ++at;
  if (at == capacity) {  // no terminator inside the buffer: repair it
    buffer[capacity - 1] = 0;
    return false;
  }
  while (*source != 0) {
    if (at + 1 >= capacity) {
      buffer[at] = 0;
      return false;
    }
    buffer[at++] = *source++;
  }
  buffer[at] = 0;
  return true;
}

bool appendUnit(char16_t* buffer, size_t capacity, char16_t unit) {
  const char16_t one[2] = {unit, 0};
  return appendText(buffer, capacity, one);
}

bool appendDecimal(char16_t* buffer, size_t capacity, int64_t value) {
  char16_t digits[24];
  size_t n = 0;
  // Work with the magnitude as unsigned so that the lowest value does not overflow.
  uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  do {
    digits[n++] = static_cast<char16_t>(u'0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) digits[n++] = u'-';
  char16_t text[24];
  for (size_t i = 0; i < n; ++i) text[i] = digits[n - 1 - i];
  text[n] = 0;
  return appendText(buffer, capacity, text);
}

}  // namespace tarnwick
