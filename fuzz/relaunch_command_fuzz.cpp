// The temporary copy's texts: the relaunch command line, the unique
// temporary names, the clean-up batch's lines, the interpreter's command line
// and the ANSI writer, over fakes whose answers come from the input.
//
// Input: an 8-byte header, then lines (fuzz_support.h's encoding):
//   byte 0     bits 0-5: letters given (d c s l k x); bit 6: names stay
//              taken once the name script ends (else they are free); bit 7: the batch path is the
//              temporary folder followed by line 1
//   bytes 1-2  drive letter (little-endian; 0 stands for 'E')
//   bytes 3-6  process id (little-endian)
//   byte 7     bits 0-1: the code page carries units below 0x80, 0x100,
//              0x3000 or all; bit 2: short forms exist (line 3); bit 3:
//              surrogates cannot be converted to ANSI (else they become
//              '?'); bit 4: writes make no progress once the write script ends
//   lines      0 the executable's path, 1 the batch path (or its name),
//              2 the temporary folder, 3 the short form, 4 an ANSI text,
//              5 the name script, 6 the write script, 7 the prefix,
//              8 the extension
// Each unit of the name script answers one formName or createExclusive
// call; each unit of the write script one write.
#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "app/temp_copy.h"
#include "base/text.h"
#include "fuzz/fuzz_support.h"

using namespace tarnwick;
using tarnwick::fuzz::ExactText;

namespace {

template <size_t N>
size_t terminatedLength(const char16_t (&buffer)[N]) {
  const size_t n = fuzz::unitsBeforeZero(buffer, N);
  FUZZ_CHECK(n < N);
  return n;
}

template <size_t N>
std::u16string textOf(const char16_t (&buffer)[N]) {
  return std::u16string(buffer, terminatedLength(buffer));
}

bool misread(char16_t unit) {
  return std::u16string(u"&^();,=%").find(unit) != std::u16string::npos;
}

bool anyMisread(const std::u16string& text) {
  for (char16_t unit : text) {
    if (misread(unit)) return true;
  }
  return false;
}

// Every '%' in the text stands in a run of even length: "%%" is one literal
// percent sign in a batch line, a single one starts a variable reference.
bool percentsDoubled(const std::u16string& text) {
  for (size_t i = 0; i < text.size();) {
    if (text[i] != u'%') {
      ++i;
      continue;
    }
    size_t run = 0;
    while (i < text.size() && text[i] == u'%') ++run, ++i;
    if (run % 2 != 0) return false;
  }
  return true;
}

char16_t foldAscii(char16_t unit) { return upperAscii(unit); }

// ".\<name>" for a path directly inside `folder` (ending with a backslash),
// folders compared without regard to ASCII case; empty otherwise.
std::u16string relativeName(const std::u16string& path, const std::u16string& folder) {
  if (folder.empty() || folder.back() != u'\\' || path.size() <= folder.size()) return u"";
  for (size_t i = 0; i < folder.size(); ++i) {
    if (foldAscii(path[i]) != foldAscii(folder[i])) return u"";
  }
  const std::u16string name = path.substr(folder.size());
  if (name.find_first_of(u"\\/") != std::u16string::npos) return u"";
  const std::u16string relative = u".\\" + name;
  return relative.size() < kPathUnits ? relative : u"";
}

std::u16string doubledPercents(const std::u16string& text) {
  std::u16string out;
  for (char16_t unit : text) {
    if (unit == u'%') out += u'%';
    out += unit;
  }
  return out;
}

// Answers taken from a script, one unit per call; `fallback` once it ends.
struct Script {
  std::u16string units;
  size_t next = 0;
  bool take(uint16_t& unit) {
    if (next >= units.size()) return false;
    unit = units[next++];
    return true;
  }
};

struct ScriptedCodePage : BatchCodePage {
  uint32_t limit = 0x80;
  bool hasShort = false;
  std::u16string shortForm;
  bool carries(const char16_t* text) override {
    for (; *text != 0; ++text) {
      if (*text >= limit) return false;
    }
    return true;
  }
  bool shortPath(const char16_t*, char16_t (&out)[kPathUnits]) override {
    if (!hasShort || !copyText(out, shortForm.c_str())) {
      out[0] = 0;
      return false;
    }
    return true;
  }
  bool carriesText(const std::u16string& text) {
    for (char16_t unit : text) {
      if (unit >= limit) return false;
    }
    return true;
  }
};

// `value` in lower-case hexadecimal, as GetTempFileNameW writes it.
void hex(uint32_t value, char16_t (&text)[12]) {
  static const char digits[] = "0123456789abcdef";
  char16_t reversed[12];
  size_t n = 0;
  do {
    reversed[n++] = char16_t(digits[value & 15]);
    value >>= 4;
  } while (value != 0);
  for (size_t i = 0; i < n; ++i) text[i] = reversed[n - 1 - i];
  text[n] = 0;
}

// A folder whose names are taken or free, and whose name forming fails, as
// the script says.
struct ScriptedFiles : TempNameFiles {
  Script script;
  bool takenAfterScript = false;
  std::set<std::u16string> created;
  std::vector<uint32_t> numbers;    // asked for, per formName call
  std::vector<uint32_t> used;       // answered
  std::u16string lastCreated;       // the last name createExclusive made
  uint32_t creates = 0;
  bool lastCreateSucceeded = false;

  uint32_t formName(const char16_t* dir, const char16_t* prefix, uint32_t number,
                    char16_t (&name)[kPathUnits]) override {
    numbers.push_back(number);
    uint16_t s = 0;
    script.take(s);
    uint32_t answer = number != 0 ? number : ((s >> 2) & 0xFFFF);
    if (answer == 0) answer = 1;
    // Written with plain copies: a folder that is always full makes a
    // thousand calls per input.
    std::u16string full = std::u16string(dir) + prefix;
    switch (s & 3) {
      case 0:
        break;
      case 1:  // the folder is gone
        name[0] = 0;
        used.push_back(0);
        return 0;
      case 2:  // numbers at the top of the range and beyond
        answer = 0xFFFCu + ((s >> 2) & 7);
        break;
      default:  // a name too short to hold ".tmp", or too long to fit
        full = (s & 4) ? std::u16string((s >> 3) % 5, u'x') : full + std::u16string(300, u'y');
        put(full, name);
        used.push_back(answer);
        return answer;
    }
    char16_t digits[12];
    hex(answer, digits);
    put(full + digits + u".tmp", name);
    used.push_back(answer);
    return answer;
  }

  // As much of `text` as fits, always terminated.
  static void put(const std::u16string& text, char16_t (&name)[kPathUnits]) {
    const size_t n = text.size() < kPathUnits ? text.size() : kPathUnits - 1;
    std::memcpy(name, text.data(), n * sizeof(char16_t));
    name[n] = 0;
  }

  bool createExclusive(const char16_t* path) override {
    ++creates;
    uint16_t s = 0;
    const bool free = script.take(s) ? (s & 1) != 0 : !takenAfterScript;
    lastCreateSucceeded = free && created.insert(path).second;
    if (lastCreateSucceeded) lastCreated = path;
    return lastCreateSucceeded;
  }
};

// Converts ASCII to one byte, the rest of the basic plane below 0x800 to
// two, higher units to three, and surrogates to '?' or not at all; writes
// make the progress the script says.
struct ScriptedSink : AnsiTextSink {
  bool surrogatesFail = false;
  bool stallAfterScript = false;
  Script script;
  std::string expected;  // the converted text, without its terminator
  std::string out;
  uint32_t writes = 0;

  static bool encode(const char16_t* text, bool surrogatesFail, std::string& bytes) {
    for (; *text != 0; ++text) {
      const char16_t u = *text;
      if (u < 0x80) {
        bytes += char(u);
      } else if (u >= 0xD800 && u < 0xE000) {
        if (surrogatesFail) return false;
        bytes += '?';
      } else if (u < 0x800) {
        bytes += char(0xC0 | (u >> 6));
        bytes += char(0x80 | (u & 0x3F));
      } else {
        bytes += char(0xE0 | (u >> 12));
        bytes += char(0x80 | ((u >> 6) & 0x3F));
        bytes += char(0x80 | (u & 0x3F));
      }
    }
    return true;
  }

  int convert(const char16_t* text, char* bytes, int capacity) override {
    std::string converted;
    if (!encode(text, surrogatesFail, converted)) return 0;
    if (converted.size() + 1 > size_t(capacity)) return 0;
    std::memcpy(bytes, converted.c_str(), converted.size() + 1);
    return int(converted.size() + 1);
  }

  bool write(const char* bytes, uint32_t count, uint32_t& written) override {
    ++writes;
    // Every write is asked for exactly the bytes not yet written.
    FUZZ_CHECK(out.size() + count == expected.size());
    FUZZ_CHECK(std::memcmp(bytes, expected.data() + out.size(), count) == 0);
    uint16_t s = 0;
    if (!script.take(s)) {
      written = stallAfterScript ? 0 : count;
    } else {
      switch (s & 3) {
        case 0: written = count; break;
        case 1: written = 1 + (s >> 2) % count; break;  // partial progress
        case 2: written = 0; break;                     // no progress at all
        default: return false;                          // the write fails
      }
    }
    out.append(bytes, written);
    return true;
  }
};

void checkRelaunch(const std::u16string& path, char16_t drive, uint8_t letters) {
  ExactText exe(path);
  LaunchOptions options;
  options.givenD = letters & 1;
  options.givenC = (letters >> 1) & 1;
  options.givenS = (letters >> 2) & 1;
  options.givenL = (letters >> 3) & 1;
  options.givenK = (letters >> 4) & 1;
  options.givenX = (letters >> 5) & 1;
  // Derived settings play no part in the command line.
  options.askFirst = options.systemNotices = options.offerKill = 1;
  char16_t line[kCommandLineUnits];
  std::fill(std::begin(line), std::end(line), u'#');
  const bool ok = buildRelaunchCommandLine(exe.get(), drive, options, line);
  std::u16string expected = u"\"" + fuzz::untilZero(path) + u"\" " + drive + u":";
  const char16_t order[] = u"dcslkx";
  for (int i = 0; i < 6; ++i) {
    if (letters & (1 << i)) expected += std::u16string(u" /") + order[i];
  }
  expected += u" --delete-executable";
  const std::u16string got = textOf(line);
  if (expected.size() < kCommandLineUnits) {
    FUZZ_CHECK(ok);
    FUZZ_CHECK(got == expected);
  } else {
    FUZZ_CHECK(!ok);
    FUZZ_CHECK(got.empty());
  }
}

void checkUniqueName(const std::u16string& dir, const std::u16string& prefix,
                     const std::u16string& extension, const std::u16string& script,
                     bool takenAfterScript) {
  ExactText dirText(dir), prefixText(prefix), extensionText(extension);
  ScriptedFiles files;
  files.script.units = script;
  files.takenAfterScript = takenAfterScript;
  char16_t path[kPathUnits];
  std::fill(std::begin(path), std::end(path), u'#');
  const bool ok = makeUniqueTempName(dirText.get(), prefixText.get(), extensionText.get(), path,
                                     files);
  const std::u16string got = textOf(path);
  FUZZ_CHECK(files.numbers.size() <= kUniqueNameAttempts);
  FUZZ_CHECK(files.creates <= kUniqueNameAttempts);
  if (fuzz::untilZero(dir).empty()) {
    FUZZ_CHECK(!ok && got.empty() && files.numbers.empty() && files.creates == 0);
    return;
  }
  // The first number is the system's choice, later ones a real 16-bit number.
  for (size_t i = 0; i < files.numbers.size(); ++i) {
    if (i == 0) {
      FUZZ_CHECK(files.numbers[i] == 0);
    } else {
      FUZZ_CHECK(files.numbers[i] >= 1 && files.numbers[i] <= 0xFFFF);
    }
  }
  if (ok) {
    // Only a name it has just created, ending with the extension.
    FUZZ_CHECK(files.lastCreateSucceeded);
    FUZZ_CHECK(got == files.lastCreated);
    FUZZ_CHECK(files.created.size() == 1);
    const std::u16string ext = fuzz::untilZero(extension);
    FUZZ_CHECK(got.size() >= ext.size() && got.compare(got.size() - ext.size(), ext.size(), ext) == 0);
  } else {
    FUZZ_CHECK(got.empty());
    FUZZ_CHECK(files.created.empty());
    // Every attempt used, or given up at a name that could not be formed or
    // did not fit, without trying to create it.
    FUZZ_CHECK(files.numbers.size() == kUniqueNameAttempts ||
               files.creates + 1 == files.numbers.size());
  }
}

// How the batch should name `path`, by the rules in the header.
std::u16string expectedForm(const std::u16string& path, const std::u16string& dir,
                            ScriptedCodePage& page) {
  if (page.carriesText(path)) return path;
  const std::u16string relative = relativeName(path, dir);
  if (!relative.empty() && page.carriesText(relative)) return relative;
  if (page.hasShort && page.shortForm.size() < kPathUnits && page.carriesText(page.shortForm)) {
    return page.shortForm;
  }
  return path;
}

void checkBatch(const std::u16string& exePath, const std::u16string& batchPath,
                const std::u16string& dir, uint32_t pid, ScriptedCodePage& page) {
  ExactText exe(exePath), batch(batchPath), dirText(dir);
  const std::u16string exeSeen = fuzz::untilZero(exePath), batchSeen = fuzz::untilZero(batchPath);
  const std::u16string dirSeen = fuzz::untilZero(dir);

  // Each path form on its own.
  char16_t form[kBatchPathUnits];
  std::fill(std::begin(form), std::end(form), u'#');
  const bool formOk = batchPathForm(exe.get(), dirText.get(), page, form);
  const std::u16string exeForm = doubledPercents(expectedForm(exeSeen, dirSeen, page));
  if (exeForm.size() < kBatchPathUnits) {
    FUZZ_CHECK(formOk && textOf(form) == exeForm);
  } else {
    FUZZ_CHECK(!formOk && textOf(form).empty());
  }
  const std::u16string batchForm = doubledPercents(expectedForm(batchSeen, dirSeen, page));

  CleanupBatch lines;
  for (auto& line : lines.lines) std::fill(std::begin(line), std::end(line), u'#');
  const bool ok = buildCleanupBatch(exe.get(), batch.get(), dirText.get(), pid, page, lines);
  for (const auto& line : lines.lines) {
    const std::u16string text = textOf(line);
    FUZZ_CHECK(percentsDoubled(text));
    if (!ok) FUZZ_CHECK(text.empty());
  }
  const bool fits = exeForm.size() < kBatchPathUnits && batchForm.size() < kBatchPathUnits;
  FUZZ_CHECK(ok == fits);
  if (ok) {
    std::u16string waiter = u"\"" + exeForm + u"\" -p";
    for (char16_t unit : std::to_string(pid)) waiter += unit;
    FUZZ_CHECK(textOf(lines.lines[0]) == waiter);
    FUZZ_CHECK(textOf(lines.lines[1]) == u"DEL \"" + exeForm + u"\"");
    FUZZ_CHECK(textOf(lines.lines[2]) == u"DEL \"" + batchForm + u"\"");
  }

  // The interpreter's command line.
  char16_t command[kCommandLineUnits];
  std::fill(std::begin(command), std::end(command), u'#');
  const bool commandOk = buildInterpreterCommandLine(batch.get(), dirText.get(), command);
  const std::u16string got = textOf(command);
  std::u16string named = batchSeen;
  const std::u16string relative = relativeName(batchSeen, dirSeen);
  if (anyMisread(batchSeen) && !relative.empty()) named = relative;
  const std::u16string expected = u"cmd.exe /c \"" + named + u"\"";
  if (expected.size() < kCommandLineUnits) {
    FUZZ_CHECK(commandOk && got == expected);
    // A batch in the interpreter's current directory is named so that
    // nothing but its own name can hold an operator.
    if (!relative.empty()) {
      const std::u16string name = relative.substr(2);
      FUZZ_CHECK(got.size() >= name.size() + 1);
      FUZZ_CHECK(!anyMisread(got.substr(0, got.size() - name.size() - 1)));
    }
  } else {
    FUZZ_CHECK(!commandOk && got.empty());
  }
}

void checkAnsi(const std::u16string& text, const std::u16string& script, bool surrogatesFail,
               bool stallAfterScript) {
  ExactText exact(text);
  ScriptedSink sink;
  sink.surrogatesFail = surrogatesFail;
  sink.stallAfterScript = stallAfterScript;
  sink.script.units = script;
  const bool converts = ScriptedSink::encode(exact.get(), surrogatesFail, sink.expected) &&
                        sink.expected.size() + 1 <= size_t(kAnsiTextBytes);
  const bool ok = writeAnsiText(exact.get(), sink);
  if (!converts) {
    FUZZ_CHECK(!ok && sink.writes == 0);
    return;
  }
  // Each write moves on by at least one byte or ends the loop.
  FUZZ_CHECK(sink.writes <= sink.expected.size());
  if (ok) FUZZ_CHECK(sink.out == sink.expected);
  if (!ok) FUZZ_CHECK(sink.out.size() < sink.expected.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  uint8_t header[8] = {};
  const size_t headerSize = size < sizeof header ? size : sizeof header;
  std::memcpy(header, data, headerSize);
  std::vector<std::u16string> lines = fuzz::decodeLines(data + headerSize, size - headerSize);
  lines.resize(9);
  if (lines[7].empty()) lines[7] = kTempPrefix;
  if (lines[8].empty()) lines[8] = kCopyExtension;

  char16_t drive = static_cast<char16_t>(header[1] | header[2] << 8);
  if (drive == 0) drive = u'E';
  const uint32_t pid = uint32_t(header[3]) | uint32_t(header[4]) << 8 | uint32_t(header[5]) << 16 |
                       uint32_t(header[6]) << 24;

  checkRelaunch(lines[0], drive, header[0] & 0x3F);
  checkUniqueName(lines[2], lines[7], lines[8], lines[5], (header[0] & 0x40) != 0);

  ScriptedCodePage page;
  static const uint32_t limits[] = {0x80, 0x100, 0x3000, 0x10000};
  page.limit = limits[header[7] & 3];
  page.hasShort = (header[7] & 4) != 0;
  page.shortForm = fuzz::untilZero(lines[3]);
  const std::u16string batchPath = (header[0] & 0x80) ? lines[2] + lines[1] : lines[1];
  checkBatch(lines[0], batchPath, lines[2], pid, page);

  checkAnsi(lines[4], lines[6], (header[7] & 8) != 0, (header[7] & 16) != 0);
  return 0;
}
