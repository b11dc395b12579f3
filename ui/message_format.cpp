#include "ui/message_format.h"

#include "base/text.h"

namespace tarnwick {
namespace {

bool isHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }

// Writes units while there is room and counts all of them.
class Writer {
 public:
  Writer(char16_t* buffer, size_t capacity) : buffer_(buffer), capacity_(capacity) {}
  void put(char16_t u) {
    if (buffer_ != nullptr && length_ + 1 < capacity_) buffer_[length_] = u;
    ++length_;
  }
  void put(const char16_t* text, size_t n) {
    for (size_t i = 0; i < n; ++i) put(text[i]);
  }
  // Terminates what was written; a cut never leaves half a surrogate pair.
  size_t finish() {
    if (buffer_ == nullptr || capacity_ == 0) return length_;
    size_t end = length_ + 1 < capacity_ ? length_ : capacity_ - 1;
    if (end < length_ && end > 0 && isHighSurrogate(buffer_[end - 1])) --end;
    buffer_[end] = 0;
    return length_;
  }

 private:
  char16_t* buffer_;
  size_t capacity_;
  size_t length_ = 0;
};

void putText(Writer& out, const char16_t* text, size_t limit) {
  if (text == nullptr) return;
  const size_t n = textLength(text);
  if (n <= limit) {
    out.put(text, n);
    return;
  }
  static const char16_t kEllipsis[] = u"...";
  size_t keep = limit >= 3 ? limit - 3 : 0;
  if (keep > 0 && isHighSurrogate(text[keep - 1])) --keep;
  out.put(text, keep);
  out.put(kEllipsis, limit < 3 ? limit : 3);
}

void putNumber(Writer& out, int32_t number) {
  char16_t digits[16] = {};
  appendDecimal(digits, number);
  out.put(digits, textLength(digits));
}

size_t longestText(const FormatArgument* arguments, size_t count) {
  size_t longest = 0;
  for (size_t i = 0; i < count; ++i) {
    if (arguments[i].kind == FormatArgument::Kind::Text && arguments[i].text != nullptr) {
      const size_t n = textLength(arguments[i].text);
      if (n > longest) longest = n;
    }
  }
  return longest;
}

}  // namespace

size_t formatMessage(char16_t* buffer, size_t capacity, const char16_t* format,
                     const FormatArgument* arguments, size_t count, size_t textLimit) {
  Writer out(buffer, capacity);
  size_t next = 0;
  for (const char16_t* f = format; f != nullptr && *f != 0; ++f) {
    if (*f != u'%' || f[1] == 0) {
      out.put(*f);
      continue;
    }
    const char16_t conversion = *++f;
    if (conversion == u'%') {
      out.put(u'%');
      continue;
    }
    if (conversion != u's' && conversion != u'c' &&
        conversion != u'd') {  // not a placeholder: kept as written
      out.put(u'%');
      out.put(conversion);
      continue;
    }
    if (next >= count) continue;
    const FormatArgument& a = arguments[next++];
    if (conversion == u's' && a.kind == FormatArgument::Kind::Text) putText(out, a.text, textLimit);
    if (conversion == u'c' && a.kind == FormatArgument::Kind::Unit && a.unit != 0) out.put(a.unit);
    if (conversion == u'd' && a.kind == FormatArgument::Kind::Number) putNumber(out, a.number);
  }
  return out.finish();
}

bool formatFitting(char16_t* buffer, size_t capacity, const char16_t* format,
                   const FormatArgument* arguments, size_t count) {
  if (capacity == 0) return false;
  if (formatMessage(nullptr, 0, format, arguments, count) < capacity) {
    formatMessage(buffer, capacity, format, arguments, count);
    return true;
  }
  // The longest limit on the texts that still fits; the length grows with the
  // limit, so a binary search finds it.
  size_t low = 3, high = longestText(arguments, count);
  size_t best = 0;
  while (low <= high) {
    const size_t mid = low + (high - low) / 2;
    if (formatMessage(nullptr, 0, format, arguments, count, mid) < capacity) {
      best = mid;
      low = mid + 1;
    } else {
      high = mid - 1;
    }
  }
  formatMessage(buffer, capacity, format, arguments, count, best != 0 ? best : 3);
  return false;
}

}  // namespace tarnwick
