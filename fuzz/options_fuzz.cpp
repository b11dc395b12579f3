// Option parsing: argument lists built from the input, the program's own
// file name first. Each line of the input is one argument; a line holding
// only the byte 0x01 is a null entry.
#include <vector>

#include "app/options.h"
#include "fuzz/fuzz_support.h"

using namespace tarnwick;
using tarnwick::fuzz::ExactText;

namespace {

bool isFlag(int32_t value) { return value == 0 || value == 1; }

bool sameOptions(const LaunchOptions& a, const LaunchOptions& b) {
  return a.driveLetter == b.driveLetter && a.silent == b.silent && a.askFirst == b.askFirst &&
         a.systemNotices == b.systemNotices && a.openDrive == b.openDrive &&
         a.deleteExecutable == b.deleteExecutable && a.waitPid == b.waitPid &&
         a.offerKill == b.offerKill && a.closeExplorer == b.closeExplorer && a.givenS == b.givenS &&
         a.givenC == b.givenC && a.givenD == b.givenD && a.givenL == b.givenL &&
         a.givenK == b.givenK && a.givenX == b.givenX;
}

void checkConsistent(const LaunchOptions& o) {
  FUZZ_CHECK(o.driveLetter == 0 || (o.driveLetter >= u'A' && o.driveLetter <= u'Z'));
  FUZZ_CHECK(o.waitPid >= 0);
  for (int32_t flag :
       {o.silent, o.askFirst, o.systemNotices, o.openDrive, o.deleteExecutable, o.offerKill,
        o.closeExplorer, o.givenS, o.givenC, o.givenD, o.givenL, o.givenK, o.givenX}) {
    FUZZ_CHECK(isFlag(flag));
  }
  // Every setting follows from the letters given, in whichever source.
  FUZZ_CHECK(o.silent == o.givenS);
  FUZZ_CHECK(o.askFirst == (o.givenC | o.givenD));
  FUZZ_CHECK(o.openDrive == o.givenD);
  FUZZ_CHECK(o.offerKill == o.givenK);
  FUZZ_CHECK(o.closeExplorer == o.givenX);
  FUZZ_CHECK(o.systemNotices == ((o.givenC | o.givenL) & !(o.givenK | o.givenX)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const LaunchOptions none = parseLaunchOptions(nullptr, 3);
  FUZZ_CHECK(sameOptions(none, LaunchOptions{}));

  std::vector<ExactText> texts;
  std::vector<const char16_t*> arguments;
  for (const std::u16string& line : fuzz::decodeLines(data, size)) {
    if (line == u"\x01") {
      arguments.push_back(nullptr);
      continue;
    }
    texts.emplace_back(line);
    arguments.push_back(texts.back().get());
  }
  // An exactly sized list: no entry beyond the count is read.
  std::unique_ptr<const char16_t*[]> list(new const char16_t*[arguments.size() + 1]);
  for (size_t i = 0; i < arguments.size(); ++i) list[i] = arguments[i];
  const LaunchOptions o = parseLaunchOptions(list.get(), arguments.size());
  checkConsistent(o);
  if (arguments.empty()) FUZZ_CHECK(sameOptions(o, LaunchOptions{}));

  // Without the program's own name the letters of the command line alone count.
  if (arguments.size() > 1) {
    const LaunchOptions rest = parseLaunchOptions(list.get() + 1, arguments.size() - 1);
    checkConsistent(rest);
    list[0] = nullptr;
    const LaunchOptions nameless = parseLaunchOptions(list.get(), arguments.size());
    checkConsistent(nameless);
    FUZZ_CHECK(nameless.waitPid == o.waitPid && nameless.driveLetter == o.driveLetter &&
               nameless.deleteExecutable == o.deleteExecutable);
    // Letters only add: the name's letters never take away the command line's.
    FUZZ_CHECK(
        (o.givenS | nameless.givenS) == o.givenS && (o.givenC | nameless.givenC) == o.givenC &&
        (o.givenD | nameless.givenD) == o.givenD && (o.givenL | nameless.givenL) == o.givenL &&
        (o.givenK | nameless.givenK) == o.givenK && (o.givenX | nameless.givenX) == o.givenX);
  }
  return 0;
}
