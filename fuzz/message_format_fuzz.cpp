// The message formatter: any format, any arguments of any kind and length,
// any buffer size and text limit.
//
// Input: two bytes of capacity (little-endian, taken modulo 600, plus one),
// one byte of text limit (255: none), then lines: the format, and one line
// per argument: "s" and a text, "n" (a null text), "c" and one unit, "d"
// and a decimal number (wrapping at 32 bits).
#include <algorithm>

#include "fuzz/fuzz_support.h"
#include "ui/message_format.h"

using namespace tarnwick;

namespace {

bool isHigh(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool isLow(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

int32_t decimal(const std::u16string& text) {
  uint32_t value = 0;
  size_t i = 0;
  const bool negative = !text.empty() && text[0] == u'-';
  if (negative) ++i;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i)
    value = value * 10 + (text[i] - u'0');
  return static_cast<int32_t>(negative ? 0u - value : value);
}

std::u16string formatted(const char16_t* format, const std::vector<FormatArgument>& arguments,
                         size_t limit) {
  const size_t length =
      formatMessage(nullptr, 0, format, arguments.data(), arguments.size(), limit);
  std::u16string text(length + 1, u'\0');
  FUZZ_CHECK(formatMessage(&text[0], text.size(), format, arguments.data(), arguments.size(),
                           limit) == length);
  FUZZ_CHECK(text[length] == 0);
  text.resize(length);
  return text;
}

// `out` (what a buffer holds) is `whole` cut to fit, and never splits a
// surrogate pair where it was cut.
void checkCut(const std::u16string& out, const std::u16string& whole, size_t capacity) {
  FUZZ_CHECK(out.size() < capacity);
  FUZZ_CHECK(whole.compare(0, out.size(), out) == 0);
  if (out.size() < whole.size()) {
    FUZZ_CHECK(out.size() + 2 >= capacity);  // at most one unit given up for a pair
    FUZZ_CHECK(!(out.size() > 0 && isHigh(out.back()) && isLow(whole[out.size()])));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const size_t capacity = 1 + (data[0] | data[1] << 8) % 600;
  const size_t limit = data[2] == 255 ? kNoTextLimit : data[2];
  const std::vector<std::u16string> lines = fuzz::decodeLines(data + 3, size - 3);
  if (lines.empty()) return 0;

  std::vector<std::unique_ptr<fuzz::ExactText>> texts;
  std::vector<FormatArgument> arguments;
  for (size_t i = 1; i < lines.size(); ++i) {
    const std::u16string& line = lines[i];
    const std::u16string rest = line.empty() ? line : line.substr(1);
    const char16_t kind = line.empty() ? u's' : line[0];
    if (kind == u'n') {
      arguments.push_back(FormatArgument::ofText(nullptr));
    } else if (kind == u'c') {
      arguments.push_back(FormatArgument::ofUnit(rest.empty() ? 0 : rest[0]));
    } else if (kind == u'd') {
      arguments.push_back(FormatArgument::ofNumber(decimal(rest)));
    } else {
      texts.push_back(std::make_unique<fuzz::ExactText>(fuzz::untilZero(rest)));
      arguments.push_back(FormatArgument::ofText(texts.back()->get()));
    }
  }
  const fuzz::ExactText format(fuzz::untilZero(lines[0]));

  // Into an exactly sized buffer: the length of the whole result, the
  // beginning of it written.
  const std::u16string whole = formatted(format.get(), arguments, limit);
  std::unique_ptr<char16_t[]> buffer(new char16_t[capacity]);
  FUZZ_CHECK(formatMessage(buffer.get(), capacity, format.get(), arguments.data(), arguments.size(),
                           limit) == whole.size());
  const size_t written = fuzz::unitsBeforeZero(buffer.get(), capacity);
  FUZZ_CHECK(written < capacity);
  checkCut(std::u16string(buffer.get(), written), whole, capacity);
  // A null format is an empty message.
  FUZZ_CHECK(formatMessage(buffer.get(), capacity, nullptr, arguments.data(), arguments.size()) ==
             0);
  FUZZ_CHECK(buffer[0] == 0);

  // Fitting: whole when it fits; otherwise the texts are shortened first.
  const bool whole_fits =
      formatFitting(buffer.get(), capacity, format.get(), arguments.data(), arguments.size());
  const std::u16string full = formatted(format.get(), arguments, kNoTextLimit);
  const std::u16string fitted(buffer.get(), fuzz::unitsBeforeZero(buffer.get(), capacity));
  FUZZ_CHECK(fitted.size() < capacity);
  FUZZ_CHECK(whole_fits == (full.size() < capacity));
  if (whole_fits) {
    FUZZ_CHECK(fitted == full);
    return 0;
  }
  // The longest text limit under which the message fits, found one by one
  // where that is quick: the fitted text is the message under that limit.
  size_t longest = 0;
  for (const FormatArgument& a : arguments) {
    if (a.kind == FormatArgument::Kind::Text && a.text != nullptr) {
      longest = std::max(longest, std::u16string(a.text).size());
    }
  }
  if (longest > 64) return 0;
  size_t best = 0;
  for (size_t l = 3; l <= longest; ++l) {
    if (formatMessage(nullptr, 0, format.get(), arguments.data(), arguments.size(), l) < capacity)
      best = l;
  }
  if (best != 0) {
    FUZZ_CHECK(fitted == formatted(format.get(), arguments, best));
  } else {
    checkCut(fitted, formatted(format.get(), arguments, 3), capacity);
  }
  return 0;
}
