// The notices' texts from what the system reports: the blocker's executable
// and the item it holds open (display names), its process id, the device's
// description and the executable of the process opened to terminate it, in
// the catalogue's messages of both languages, fitted into the balloon and
// prompt buffers.
//
// Input: a flags byte (bit 0 Japanese, 1 the blocker runs from the drive,
// 2 offer to terminate, 3 system notices, 4 the answer is Yes, 5 the process
// opens, 6 its executable can be read, 7 the search finds a blocker), the
// process id (32 bits), the drive letter (16 bits), a buffer capacity (16
// bits, modulo 600, plus one), then lines: the blocker's executable, the
// item held open, the device description, the opened process's executable.
// The low two bits of the process id choose the start times: 0 the search
// did not learn it, 1 the opened process started then too, 2 it started at
// another time, 3 its start time cannot be read.
#include "base/text.h"
#include "blocker/blocker_search.h"
#include "fuzz/fuzz_support.h"
#include "ui/catalogue.h"
#include "ui/catalogue_texts_test.h"
#include "ui/notices.h"

using namespace tarnwick;

namespace {

bool contains(const char16_t* text, const std::u16string& part) {
  return std::u16string(text).find(part) != std::u16string::npos;
}

bool sameAscii(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (upperAscii(a[i]) != upperAscii(b[i])) return false;
  }
  return true;
}

// The display name by its rule: the root name for a path ending in "\",
// else the part after the last "\", cut to 90 units and "..." from 90 on.
std::u16string expectedDisplayName(const std::u16string& path, const std::u16string& root) {
  if (path.empty()) return path;
  if (path.back() == u'\\') return root;
  const size_t slash = path.rfind(u'\\');
  std::u16string name = slash == std::u16string::npos ? path : path.substr(slash + 1);
  if (name.size() >= kDisplayNameLimit) name = name.substr(0, kDisplayNameLimit) + u"...";
  return name;
}

void copyInto(char16_t* buffer, size_t capacity, const std::u16string& text) {
  const size_t n = std::min(text.size(), capacity - 1);
  std::memcpy(buffer, text.data(), n * sizeof(char16_t));
  buffer[n] = 0;
}

struct Platform : NoticePlatform {
  std::u16string openedImage;
  uint64_t openedStartTime = 0;
  bool yes = false;
  bool opens = false;
  bool imageReadable = false;

  bool bannerEnabled = true;
  bool processOpen = false;
  bool terminated = false;
  int prompts = 0;
  std::vector<Balloon> balloons;
  std::vector<NoticeIcon> removed;
  uint32_t now = 100000;

  void loadString(uint32_t id, char16_t* buffer, size_t capacity) override {
    FUZZ_CHECK(capacity > 0);
    const auto& texts = expectedCatalogue();
    const auto text = texts.find(id);
    FUZZ_CHECK(text != texts.end());  // only the catalogue's own ids are asked for
    copyInto(buffer, capacity, text->second);
  }
  void showBalloon(const Balloon& balloon) override {
    FUZZ_CHECK(fuzz::unitsBeforeZero(balloon.text, kBalloonTextCapacity) < kBalloonTextCapacity);
    FUZZ_CHECK(fuzz::unitsBeforeZero(balloon.title, kTitleCapacity) < kTitleCapacity);
    balloons.push_back(balloon);
  }
  void removeBalloon(NoticeIcon icon) override { removed.push_back(icon); }
  uint32_t tickCount() override { return now; }
  void enableBanner(bool enable) override {
    FUZZ_CHECK(bannerEnabled != enable);
    bannerEnabled = enable;
  }
  bool askYesNo(const char16_t* text, const char16_t* caption) override {
    FUZZ_CHECK(!bannerEnabled);  // the prompt is modal
    FUZZ_CHECK(fuzz::unitsBeforeZero(text, kPromptCapacity) < kPromptCapacity);
    FUZZ_CHECK(std::u16string(caption) == u"Tarnwick");
    ++prompts;
    return yes;
  }
  bool openProcess(uint32_t) override {
    FUZZ_CHECK(!processOpen);
    processOpen = opens;
    return opens;
  }
  bool openedProcessImage(char16_t* buffer, size_t capacity) override {
    FUZZ_CHECK(processOpen);
    if (!imageReadable || openedImage.size() >= capacity) return false;
    copyInto(buffer, capacity, openedImage);
    return true;
  }
  uint64_t openedProcessStartTime() override {
    FUZZ_CHECK(processOpen);
    return openedStartTime;
  }
  void terminateOpenedProcess() override {
    FUZZ_CHECK(processOpen);
    terminated = true;
  }
  void closeOpenedProcess() override {
    FUZZ_CHECK(processOpen);
    processOpen = false;
  }
};

struct Finder : BlockerFinder {
  bool finds = false;
  BlockerFindings found;
  bool findBlocker(char16_t) override {
    if (finds) findings = found;
    return finds;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 9) return 0;
  const uint8_t flags = data[0];
  const bool japanese = flags & 1;
  uint32_t pid = 0;
  std::memcpy(&pid, data + 1, 4);
  const char16_t letter = static_cast<char16_t>(data[5] | data[6] << 8);
  const size_t capacity = 1 + (data[7] | data[8] << 8) % 600;
  std::vector<std::u16string> lines = fuzz::decodeLines(data + 9, size - 9);
  lines.resize(4);
  for (std::u16string& line : lines) line = fuzz::untilZero(line);

  // Display names of every path, into exactly sized arrays.
  const std::u16string root = japanese ? u"ルート" : u"root";
  for (const std::u16string& path : lines) {
    const fuzz::ExactText exact(path);
    char16_t name[kDisplayNameCapacity];
    displayName(exact.get(), root.c_str(), name);
    FUZZ_CHECK(fuzz::unitsBeforeZero(name, kDisplayNameCapacity) < kDisplayNameCapacity);
    FUZZ_CHECK(std::u16string(name) == expectedDisplayName(path, root));
  }

  // The system's paths as the search keeps them: cut to its buffers.
  BlockerFindings found;
  found.holderPid = pid;
  copyInto(found.holderImage, kBlockerPathUnits, lines[0]);
  copyInto(found.openPath, kBlockerPathUnits, lines[1]);
  const uint64_t startTime = 0x01D0000000000000ull + pid;
  found.holderStartTime = (pid & 3) == 0 ? 0 : startTime;
  found.runsFromDrive = flags & 2;
  found.holdsOpenItem = !found.runsFromDrive;
  const std::u16string imageName = expectedDisplayName(found.holderImage, u"root");
  const std::u16string openName = expectedDisplayName(found.openPath, u"root");
  const std::u16string pidText = [&] {
    char16_t digits[16] = {};
    appendDecimal(digits, static_cast<int32_t>(pid));
    return std::u16string(digits);
  }();

  Platform platform;
  platform.yes = flags & 16;
  platform.opens = flags & 32;
  platform.imageReadable = flags & 64;
  platform.openedImage = lines[3];
  platform.openedStartTime = (pid & 3) == 1 ? startTime : (pid & 3) == 2 ? startTime + 1 : 0;

  // Both texts in a buffer of any size: always terminated inside it; the
  // whole message, with every value in it whole, when it fits.
  for (bool prompt : {false, true}) {
    char16_t whole[2048];
    formatBlockerText(platform, japanese, letter, found, prompt, whole, 2048);
    const size_t wholeLength = fuzz::unitsBeforeZero(whole, 2048);
    FUZZ_CHECK(wholeLength < 2000);
    FUZZ_CHECK(contains(whole, imageName) && contains(whole, pidText));
    if (!found.runsFromDrive) FUZZ_CHECK(contains(whole, openName));
    std::unique_ptr<char16_t[]> text(new char16_t[capacity]);
    formatBlockerText(platform, japanese, letter, found, prompt, text.get(), capacity);
    const size_t length = fuzz::unitsBeforeZero(text.get(), capacity);
    FUZZ_CHECK(length < capacity);
    if (wholeLength < capacity) FUZZ_CHECK(std::u16string(text.get()) == std::u16string(whole));
  }

  // The success balloon with the device's description: whole when the
  // message fits the balloon.
  NoticeState state;
  state.japanese = japanese;
  state.driveLetter = letter;
  const fuzz::ExactText description(lines[2]);
  state.deviceDescription = description.get();
  state.offerKill = flags & 4;
  state.systemNotices = flags & 8;
  showSafeNotice(platform, state, true);
  FUZZ_CHECK(platform.balloons.size() == 1);
  FUZZ_CHECK(platform.balloons[0].icon == NoticeIcon::Safe);
  FUZZ_CHECK(platform.balloons[0].infoFlags == kBalloonInfo);
  const std::u16string& safeFormat = expectedCatalogue().at(messageId(Message::SafeText, japanese));
  const std::u16string safeWhole = safeFormat.substr(0, safeFormat.find(u"%s")) + lines[2] +
                                   safeFormat.substr(safeFormat.find(u"%s") + 2);
  if (safeWhole.size() < kBalloonTextCapacity) {
    FUZZ_CHECK(std::u16string(platform.balloons[0].text) == safeWhole);
  }
  platform.balloons.clear();

  // The diagnosis: a prompt only with the offer to terminate and without
  // system notices; a process terminated only when it is still the one found.
  Finder finder;
  finder.finds = flags & 128;
  finder.found = found;
  state.blockerNoticeClosedTick = platform.now - kQuietAfterBlockerNoticeMs;
  diagnoseBlocker(platform, finder, state);
  FUZZ_CHECK(platform.bannerEnabled && !platform.processOpen);
  const bool asked = finder.finds && state.offerKill && !state.systemNotices;
  FUZZ_CHECK(platform.prompts == (asked ? 1 : 0));
  const bool imageKnown = found.holderImage[0] != 0;
  const bool startKnown = found.holderStartTime != 0;
  const bool sameImage = platform.imageReadable && platform.openedImage.size() < 320 &&
                         sameAscii(platform.openedImage, found.holderImage);
  const bool sameStart = platform.openedStartTime == found.holderStartTime;
  const bool sameProgram =
      (imageKnown || startKnown) && (!imageKnown || sameImage) && (!startKnown || sameStart);
  FUZZ_CHECK(platform.terminated == (asked && platform.yes && platform.opens && sameProgram));
  FUZZ_CHECK(platform.balloons.size() == (finder.finds && !platform.terminated ? 1u : 0u));
  FUZZ_CHECK(state.blockerNoticeShown == (platform.balloons.size() == 1));
  if (!platform.balloons.empty()) {
    FUZZ_CHECK(platform.balloons[0].icon == NoticeIcon::Blocker);
    FUZZ_CHECK(platform.balloons[0].infoFlags == kBalloonError);
  }
  return 0;
}
