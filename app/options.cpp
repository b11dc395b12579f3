#include "app/options.h"

#include <climits>

#include "base/text.h"

namespace tarnwick {
namespace {

// One line per letter: the two switches read as the tables they are.
// clang-format off

// Applies one option letter of either source; false when it is no option letter.
bool applyLetter(LaunchOptions& o, char16_t unit) {
  switch (upperAscii(unit)) {
    case u'S': o.silent = 1; o.givenS = 1; return true;
    case u'C': o.askFirst = 1; o.systemNotices = 1; o.givenC = 1; return true;
    case u'D': o.askFirst = 1; o.openDrive = 1; o.givenD = 1; return true;
    case u'L': o.systemNotices = 1; o.givenL = 1; return true;
    case u'K': o.offerKill = 1; o.givenK = 1; return true;
    case u'X': o.closeExplorer = 1; o.givenX = 1; return true;
    default: return false;
  }
}

bool isOptionLetter(char16_t unit) {
  switch (upperAscii(unit)) {
    case u'S': case u'C': case u'D': case u'L': case u'K': case u'X': return true;
    default: return false;
  }
}
// clang-format on

bool isDigit(char16_t unit) { return unit >= u'0' && unit <= u'9'; }

// Letters after the first '-' of the file name, up to its first '.'.
void applyFileNameLetters(LaunchOptions& o, const char16_t* path) {
  const char16_t* name = path;
  for (const char16_t* p = path; *p != 0; ++p) {
    if (*p == u'\\') name = p + 1;
  }
  while (*name != 0 && *name != u'-') ++name;
  if (*name == 0) return;
  for (const char16_t* p = name + 1; *p != 0 && *p != u'.'; ++p) applyLetter(o, *p);
}

// "-p" digits: the value of the run of digits, or false when it does not fit
// a 32-bit signed process id. Such an argument is ignored as a whole.
bool readPid(const char16_t* digits, int32_t& pid) {
  int64_t value = 0;
  for (; isDigit(*digits); ++digits) {
    value = value * 10 + (*digits - u'0');
    if (value > INT32_MAX) return false;
  }
  pid = static_cast<int32_t>(value);
  return true;
}

void applyOption(LaunchOptions& o, const char16_t* rest) {
  if (rest[0] != 0 && rest[1] == 0 && isOptionLetter(rest[0])) {
    applyLetter(o, rest[0]);
    return;
  }
  static const char16_t kDeleteExecutable[] = u"-delete-executable";
  const char16_t* a = rest;
  const char16_t* b = kDeleteExecutable;
  while (*a != 0 && *a == *b) {
    ++a;
    ++b;
  }
  if (*a == 0 && *b == 0) {
    o.deleteExecutable = 1;
    return;
  }
  if ((rest[0] == u'p' || rest[0] == u'P') && isDigit(rest[1])) {
    int32_t pid = 0;
    if (readPid(rest + 1, pid)) o.waitPid = pid;
  }
  // Anything else, combined letters like -sc included, is ignored.
}

}  // namespace

LaunchOptions parseLaunchOptions(const char16_t* const* arguments, size_t count) {
  LaunchOptions o;
  if (arguments == nullptr || count == 0) return o;
  if (arguments[0] != nullptr) applyFileNameLetters(o, arguments[0]);
  for (size_t i = 1; i < count; ++i) {
    const char16_t* arg = arguments[i];
    if (arg == nullptr || arg[0] == 0) continue;
    if (arg[0] == u'-' || arg[0] == u'/') {
      applyOption(o, arg + 1);
    } else if ((arg[0] >= u'A' && arg[0] <= u'Z') || (arg[0] >= u'a' && arg[0] <= u'z')) {
      o.driveLetter = upperAscii(arg[0]);
    }
  }
  // Killing the blocker or closing Explorer needs the program's own reports.
  if (o.offerKill || o.closeExplorer) o.systemNotices = 0;
  return o;
}

LaunchOptions& launchOptions() {
  static LaunchOptions options;
  return options;
}

}  // namespace tarnwick
