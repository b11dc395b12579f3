#include "ui/banner_window_win32.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "base/module_win32.h"
#include "base/object_names.h"
#include "base/system_api_win32.h"
#include "base/text.h"
#include "ui/banner_layout.h"
#include "ui/catalogue_texts_test.h"
#include "ui/notices_win32.h"

namespace tarnwick {
namespace {

struct Pixel {
  uint8_t b, g, r, a;
};

// Each test builds the banner for a made-up device named "Test Stick".
class BannerWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    moduleInstance() = ::GetModuleHandleW(nullptr);  // the test carries the program's resources
    copyText(device_.friendlyName, u"Test Stick");
    copyText(device_.deviceDescription, u"Test Stick USB Device");
  }
  static Pixel at(const BannerWindow& b, int x, int y) {
    const uint8_t* p = b.image().at(x, y);
    return {p[0], p[1], p[2], p[3]};
  }
  // Pixels in the rectangle that the drawing made white, and black.
  static void count(const BannerWindow& b, const RECT& r, int& white, int& black) {
    white = black = 0;
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x) {
        const Pixel p = at(b, x, y);
        if (p.a == 255 && p.b == 255 && p.g == 255 && p.r == 255) ++white;
        if (p.a == 255 && p.b == 0 && p.g == 0 && p.r == 0) ++black;
      }
  }

  static BannerSettings asking(bool askFirst) {
    BannerSettings settings;
    settings.askFirst = askFirst;
    return settings;
  }

  RemovableDevice device_{u'E'};
};

TEST_F(BannerWindowTest, BuildsEveryResource) {
  BannerWindow b(device_, asking(true));
  EXPECT_TRUE(b.placementMutex);
  UniqueHandle byName(::OpenMutexW(SYNCHRONIZE, FALSE, kBannerMutexName));
  EXPECT_TRUE(byName);
  EXPECT_NE(systemApi().AlphaBlend, nullptr);
  EXPECT_TRUE(b.finder);
  EXPECT_EQ(b.buttonsActive, 1);
  EXPECT_FALSE(b.notices.systemNotices);
  EXPECT_EQ(b.pulseAlpha, 0);
  EXPECT_EQ(std::u16string(b.bannerText), u"Unplug  E:  Drive  -  Test Stick");
  EXPECT_EQ(b.bannerTextLength, 32);
  EXPECT_GT(b.textExtent.cx, 100);
  EXPECT_GT(b.textExtent.cy, 8);
  EXPECT_EQ(b.imageSize.cx, b.textExtent.cx + 436);
  EXPECT_EQ(b.imageSize.cy, 74);
  EXPECT_EQ(b.backgroundRect.right, b.imageSize.cx);
  EXPECT_EQ(b.backgroundRect.bottom, 74);
  ASSERT_NE(b.pixels, nullptr);
  ASSERT_TRUE(b.highlightRamp && b.bodyRamp);
  EXPECT_EQ(b.bodyRamp[0], 216);
  EXPECT_EQ(b.bodyRamp[b.imageSize.cx - 1], 0);
  EXPECT_TRUE(b.symbolBitmap);
  EXPECT_TRUE(b.smallIcon);
  EXPECT_EQ(b.notices.japanese, ::GetUserDefaultLangID() == 1041);
  LOGFONTW font = {};
  ::GetObjectW(b.textFont.get(), sizeof font, &font);
  EXPECT_EQ(std::wstring(font.lfFaceName), L"Tahoma");
  EXPECT_EQ(font.lfWeight, 700);
  EXPECT_EQ(font.lfHeight, -::MulDiv(10, ::GetDeviceCaps(b.imageDC.get(), LOGPIXELSY), 72));
}

TEST_F(BannerWindowTest, ReleasesTheMutexWhenDestroyed) {
  { BannerWindow b(device_, asking(false)); }
  UniqueHandle byName(::OpenMutexW(SYNCHRONIZE, FALSE, kBannerMutexName));
  EXPECT_FALSE(byName);
}

TEST_F(BannerWindowTest, ComposesTextButtonsAndAlphaRows) {
  BannerWindow b(device_, asking(true));
  b.compose();
  const int w = b.imageSize.cx;
  HDC dc = b.imageDC.get();
  SIZE cancel = {}, ok = {};
  ::GetTextExtentPoint32W(dc, L"Cancel", 6, &cancel);
  ::GetTextExtentPoint32W(dc, L"OK", 2, &ok);
  const ButtonLayout layout = layoutButtons(w, {cancel.cx, cancel.cy}, {ok.cx, ok.cy}, true);
  EXPECT_EQ(b.okButtonRect.left, w - 392);
  EXPECT_EQ(b.okButtonRect.right, layout.ok.right);
  EXPECT_EQ(b.cancelButtonRect.left, layout.ok.right + 4);
  EXPECT_EQ(b.okButtonRect.top, (74 - cancel.cy) / 2);

  // Rim, highlight and body rows of the background.
  EXPECT_EQ(at(b, 0, 17).a, 67);
  EXPECT_EQ(at(b, 0, 56).a, 67);
  EXPECT_EQ(at(b, 0, 18).r, 255);
  const Pixel body = at(b, 2, 21);
  EXPECT_EQ(body.a, 216);
  EXPECT_EQ(body.g, 54);
  EXPECT_EQ(at(b, w - 1, 30).a, 0);  // transparent at the right end

  // The text line: white and black (shadow) pixels, all opaque.
  int white = 0, black = 0;
  const int t = (74 - b.textExtent.cy) >> 1;
  count(b, {36, t, 36 + b.textExtent.cx, t + b.textExtent.cy + 1}, white, black);
  EXPECT_GT(white, 100);
  EXPECT_GT(black, 20);

  // Both buttons: mostly white faces with black text.
  count(b, b.okButtonRect, white, black);
  const int okArea =
      (b.okButtonRect.right - b.okButtonRect.left) * (b.okButtonRect.bottom - b.okButtonRect.top);
  EXPECT_GT(white, okArea / 2);
  EXPECT_GT(black, 5);
  count(b, b.cancelButtonRect, white, black);
  EXPECT_GT(white, okArea / 2);
  EXPECT_GT(black, 10);
  // The gap between them is body.
  EXPECT_EQ(at(b, b.okButtonRect.right + 1, (b.okButtonRect.top + b.okButtonRect.bottom) / 2).a,
            b.bodyRamp[b.okButtonRect.right + 1]);
}

TEST_F(BannerWindowTest, CancelAloneWhileRunningAndNoButtonsWhenInactive) {
  BannerWindow b(device_, asking(true));
  b.askFirst = false;  // the attempts started by themselves: Cancel alone
  b.compose();
  EXPECT_EQ(b.cancelButtonRect.left, b.okButtonRect.left + 4);
  int white = 0, black = 0;
  // Left of the lone Cancel button, where OK would be, only body.
  count(b,
        {b.okButtonRect.left, b.okButtonRect.top, b.okButtonRect.left + 4, b.okButtonRect.bottom},
        white, black);
  EXPECT_EQ(white, 0);
  count(b, b.cancelButtonRect, white, black);
  EXPECT_GT(white, 100);

  const RECT okBefore = b.okButtonRect, cancelBefore = b.cancelButtonRect;
  b.buttonsActive = 0;
  b.askFirst = true;  // would move Cancel, but nothing is drawn or stored
  b.compose();
  count(b, cancelBefore, white, black);
  EXPECT_EQ(white, 0);
  EXPECT_TRUE(::EqualRect(&okBefore, &b.okButtonRect));
  EXPECT_TRUE(::EqualRect(&cancelBefore, &b.cancelButtonRect));
}

TEST_F(BannerWindowTest, SymbolBlendMatchesTheFormula) {
  BannerWindow b(device_, asking(false));
  b.pulseAlpha = 0;
  b.compose();
  const size_t bytes = b.image().byteCount();
  std::vector<uint8_t> plain(b.pixels, b.pixels + bytes);
  b.pulseAlpha = 200;
  b.compose();

  DIBSECTION section = {};
  ASSERT_EQ(::GetObjectW(b.symbolBitmap.get(), sizeof section, &section), int(sizeof section));
  ASSERT_EQ(section.dsBm.bmBitsPixel, 32);
  const int symbolHeight = section.dsBmih.biHeight;
  ASSERT_EQ(std::abs(symbolHeight), 18);
  std::vector<uint8_t> symbolBits(static_cast<uint8_t*>(section.dsBm.bmBits),
                                  static_cast<uint8_t*>(section.dsBm.bmBits) + 18 * 18 * 4);
  if (symbolHeight < 0) {  // top-down: turn it into the bottom-up order of BannerImage
    for (int y = 0; y < 9; ++y)
      std::swap_ranges(&symbolBits[y * 72], &symbolBits[y * 72 + 72], &symbolBits[(17 - y) * 72]);
  }
  const BannerImage symbol{symbolBits.data(), 18, 18};
  BannerImage expected = b.image();
  expected.pixels = plain.data();
  blendSymbol(expected, symbol, 9, 28, 200);
  int differing = 0, changed = 0;
  for (size_t i = 0; i < bytes; ++i) {
    if (std::abs(int(plain[i]) - int(b.pixels[i])) > 0) ++changed;
    // The system rounds inside its blend in its own way: a step or two either side.
    if (std::abs(int(expected.pixels[i]) - int(b.pixels[i])) > 2) ++differing;
  }
  EXPECT_GT(changed, 50);  // the symbol was drawn
  EXPECT_EQ(differing, 0);
}

TEST_F(BannerWindowTest, FadeStepsWorkOnTheComposedImageAndSlide) {
  BannerWindow b(device_, asking(false));
  b.compose();
  b.position = {10, 576};
  b.slideStep = 1;
  int steps = 1;
  while (b.fadeStep()) ++steps;
  EXPECT_EQ(steps, 32);
  EXPECT_EQ(b.position.x, 42);
  const BannerImage image = b.image();
  EXPECT_TRUE(std::all_of(image.pixels, image.pixels + image.byteCount(),
                          [](uint8_t v) { return v == 0; }));
}

TEST(NoticePlatform, LoadsEachTextOfTheCatalogue) {
  moduleInstance() = ::GetModuleHandleW(nullptr);
  const HWND noWindow = nullptr;
  WindowsNoticePlatform platform(noWindow, nullptr);
  for (const auto& entry : expectedCatalogue()) {
    char16_t text[kFormatCapacity];
    platform.loadString(entry.first, text, kFormatCapacity);
    EXPECT_EQ(std::u16string(text), entry.second) << entry.first;
  }
  char16_t missing[8] = {u'x'};
  platform.loadString(9999, missing, 8);
  EXPECT_EQ(missing[0], 0);
}

// The process to terminate is opened, recognised by its executable's path and ended.
TEST(NoticePlatform, ReadsTheOpenedProcessesPathAndTerminatesIt) {
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path);
  folder.resize(folder.find_last_of(L'\\') + 1);
  const std::wstring sleeper = folder + L"sleeper.exe";
  const std::wstring pidFile = folder + L"notice_platform_sleeper.pid";
  ::DeleteFileW(pidFile.c_str());
  std::wstring command = L"\"" + sleeper + L"\" 60000 \"" + pidFile + L"\" 7";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child = {};
  if (!::CreateProcessW(sleeper.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &child)) {
    GTEST_SKIP() << "sleeper.exe is not built beside the tests";
  }
  UniqueHandle process(child.hProcess), thread(child.hThread);
  // Until its main function runs, a new process has no module list to read.
  for (int i = 0; i < 200 && ::GetFileAttributesW(pidFile.c_str()) == INVALID_FILE_ATTRIBUTES; ++i)
    ::Sleep(50);

  const HWND noWindow = nullptr;
  WindowsNoticePlatform platform(noWindow, nullptr);
  ASSERT_TRUE(platform.openProcess(child.dwProcessId));
  char16_t image[320] = {};
  ASSERT_TRUE(platform.openedProcessImage(image, 320));
  std::u16string text(image);
  EXPECT_EQ(text.substr(text.size() - 12), u"\\sleeper.exe");
  FILETIME created, exited, kernel, user;
  ASSERT_TRUE(::GetProcessTimes(process.get(), &created, &exited, &kernel, &user));
  EXPECT_EQ(platform.openedProcessStartTime(),
            static_cast<uint64_t>(created.dwHighDateTime) << 32 | created.dwLowDateTime);
  char16_t small[8] = {u'x'};
  EXPECT_FALSE(platform.openedProcessImage(small, 8));  // a path that does not fit is no path
  EXPECT_EQ(small[0], 0);
  platform.terminateOpenedProcess();
  platform.closeOpenedProcess();
  ASSERT_EQ(::WaitForSingleObject(process.get(), 10000), WAIT_OBJECT_0);
  DWORD code = 99;
  ::GetExitCodeProcess(process.get(), &code);
  EXPECT_EQ(code, 0u);
  ::DeleteFileW(pidFile.c_str());
  EXPECT_FALSE(platform.openProcess(0x7FFFFFF0u));  // no such process
}

}  // namespace
}  // namespace tarnwick
