// Shared pieces of the fuzz targets: the check that stops a run with a
// finding, exactly sized texts, and the decoding of the inputs' texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

// A broken property is a finding: the message names it, abort() makes
// libFuzzer keep the input.
#define FUZZ_CHECK(condition)                                                             \
  do {                                                                                    \
    if (!(condition)) {                                                                   \
      std::fprintf(stderr, "check failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
      std::abort();                                                                       \
    }                                                                                     \
  } while (0)

namespace tarnwick::fuzz {

// A zero-terminated text in an allocation of exactly its length plus the
// terminator, so that a read past the terminator is caught.
class ExactText {
 public:
  explicit ExactText(const std::u16string& text)
      : units_(new char16_t[text.size() + 1]), length_(text.size()) {
    std::memcpy(units_.get(), text.data(), text.size() * sizeof(char16_t));
    units_[text.size()] = 0;
  }
  char16_t* get() const { return units_.get(); }
  size_t length() const { return length_; }

 private:
  std::unique_ptr<char16_t[]> units_;
  size_t length_;
};

// Texts in the inputs are bytes, each one UTF-16 unit, so that seeds stay
// readable; 0xFF and the next two bytes (little-endian) give any unit,
// surrogates and zero included.
inline std::u16string decodeText(const uint8_t* data, size_t size) {
  std::u16string text;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0xFF && i + 2 < size) {
      text.push_back(static_cast<char16_t>(data[i + 1] | data[i + 2] << 8));
      i += 2;
    } else {
      text.push_back(static_cast<char16_t>(data[i]));
    }
  }
  return text;
}

// The input cut at each byte 0x0A outside an escape, as decoded texts; an
// empty input is no line at all, a final 0x0A ends the last line.
inline std::vector<std::u16string> decodeLines(const uint8_t* data, size_t size) {
  std::vector<std::u16string> lines;
  size_t start = 0;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0xFF && i + 2 < size) {
      i += 2;
    } else if (data[i] == 0x0A) {
      lines.push_back(decodeText(data + start, i - start));
      start = i + 1;
    }
  }
  if (start < size) lines.push_back(decodeText(data + start, size - start));
  return lines;
}

// The units before the first zero unit: what a reader of the text sees.
inline std::u16string untilZero(const std::u16string& text) {
  const size_t end = text.find(char16_t(0));
  return end == std::u16string::npos ? text : text.substr(0, end);
}

inline size_t unitsBeforeZero(const char16_t* text, size_t capacity) {
  size_t n = 0;
  while (n < capacity && text[n] != 0) ++n;
  return n;
}

}  // namespace tarnwick::fuzz
