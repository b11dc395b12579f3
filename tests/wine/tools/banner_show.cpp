// Test-only program: shows the banner of a made-up device ("Test Stick" on
// E:) in one of its states, so that the whole-program tests can look at it.
//   banner_show.exe STATUSFILE MODE [FADESTEPS]
// MODE: ask      OK and Cancel, the symbol at full strength
//       running  Cancel alone (attempts start by themselves)
//       fade     the ask state, then FADESTEPS fade steps with the slide
//       safe     the ask state and the success balloon
//       blocker  the ask state and the blocker balloon for a made-up blocker
//       diagnose the ask state, then the diagnosis of drive E: with the real
//                search: the blocker balloon for what it finds
//       prompt   the same with the offer to terminate: when the prompt is up,
//                "prompt-shown" is appended; the program then waits for the
//                file STATUSFILE.answer and answers as its text says
//                ("yes" or "no"), as the user would by pressing the button
// When the banner is on screen, STATUSFILE holds its window, place and
// buttons, ending with the line "ready". A balloon callback (the message of
// either icon with NIN_BALLOONTIMEOUT or NIN_BALLOONUSERCLICK) removes that
// balloon, appends "<safe|blocker>-notice <event>" and ends the program;
// WM_CLOSE ends it too, and it never runs longer than two minutes.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>

#include "base/module_win32.h"
#include "base/text.h"
#include "device/removable_device.h"
#include "ui/banner_messages.h"
#include "ui/banner_window_win32.h"
#include "ui/notices.h"
#include "ui/notices_win32.h"

using namespace tarnwick;

namespace {

const wchar_t* statusPath = nullptr;
BannerWindow* banner = nullptr;
NoticePlatform* notices = nullptr;  // on the banner's window

void appendStatus(const char* line) {
  FILE* f = _wfopen(statusPath, L"a");
  if (f == nullptr) return;
  std::fputs(line, f);
  std::fputs("\n", f);
  std::fclose(f);
}

// Answers the terminate prompt of this process once the test has looked at it.
DWORD WINAPI answerPrompt(LPVOID) {
  HWND box = nullptr;
  for (int i = 0; i < 1200 && box == nullptr; ++i) {
    Sleep(50);
    box = FindWindowW(L"#32770", L"Tarnwick");
  }
  if (box == nullptr) return 1;
  appendStatus("prompt-shown");
  std::wstring answerPath = std::wstring(statusPath) + L".answer";
  for (int i = 0; i < 2400; ++i) {
    FILE* f = _wfopen(answerPath.c_str(), L"r");
    if (f != nullptr) {
      char answer[8] = {};
      std::fgets(answer, sizeof answer, f);
      std::fclose(f);
      PostMessageW(box, WM_COMMAND, answer[0] == 'y' ? IDYES : IDNO, 0);
      return 0;
    }
    Sleep(50);
  }
  return 1;
}

// A search that always finds an editor holding a file open on the drive.
class MadeUpBlocker final : public BlockerFinder {
 public:
  bool findBlocker(char16_t) override {
    findings.holderPid = 4242;
    copyText(findings.holderImage, u"C:\\Program Files\\Editor\\edit.exe");
    copyText(findings.openPath, u"E:\\Documents\\notes.txt");
    findings.holdsOpenItem = true;
    return true;
  }
};

bool isBalloonEnd(LPARAM event) { return event == kBalloonTimeout || event == kBalloonUserClick; }

LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  char line[64];
  switch (message) {
    case WM_BANNER_SAFE_NOTICE:
      if (banner != nullptr && isBalloonEnd(lParam)) {
        showSafeNotice(*notices, banner->notices, false);
        banner->safeNoticeShown = 0;
        std::snprintf(line, sizeof line, "safe-notice 0x%x", static_cast<unsigned>(lParam));
        appendStatus(line);
        PostQuitMessage(0);
      }
      return 0;
    case WM_BANNER_BLOCKER_NOTICE:
      if (banner != nullptr && isBalloonEnd(lParam)) {
        showBlockerNotice(*notices, banner->notices, banner->finder->findings, false);
        banner->notices.blockerNoticeShown = 0;
        std::snprintf(line, sizeof line, "blocker-notice 0x%x", static_cast<unsigned>(lParam));
        appendStatus(line);
        PostQuitMessage(0);
      }
      return 0;
    case WM_TIMER:
    case WM_CLOSE: PostQuitMessage(0); return 0;
    default: return DefWindowProcW(hwnd, message, wParam, lParam);
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  statusPath = argv[1];
  const std::wstring mode = argv[2];
  const int fadeSteps = argc > 3 ? _wtoi(argv[3]) : 0;
  moduleInstance() = GetModuleHandleW(nullptr);

  RemovableDevice device(u'E');
  copyText(device.friendlyName, u"Test Stick");
  copyText(device.deviceDescription, u"Test Stick USB Device");
  BannerSettings settings;
  settings.askFirst = true;  // buttons shown
  settings.offerKill = mode == L"prompt";
  std::unique_ptr<BannerWindow> owner(new BannerWindow(device, settings));
  banner = owner.get();
  banner->askFirst = mode != L"running";
  if (mode == L"blocker") banner->finder.reset(new MadeUpBlocker());

  WNDCLASSEXW cls = {};
  cls.cbSize = sizeof cls;
  cls.lpfnWndProc = windowProc;
  cls.hInstance = moduleInstance();
  cls.lpszClassName = L"TarnwickBannerShow";
  if (!RegisterClassExW(&cls)) return 3;
  HWND hwnd = CreateWindowExW(WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST, cls.lpszClassName,
                              L"Tarnwick", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, moduleInstance(),
                              nullptr);
  if (hwnd == nullptr) return 4;
  banner->hwnd = hwnd;
  WindowsNoticePlatform noticePlatform(banner->hwnd, banner->smallIcon.get());
  notices = &noticePlatform;

  // Where the banner's placement puts the first banner.
  RECT work = {};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  banner->position = {work.left, (work.top + 3 * work.bottom) / 4};
  banner->pulseAlpha = 255;
  if (!banner->present()) return 5;
  ShowWindow(hwnd, SW_SHOW);
  appendStatus("shown");  // tells a banner that hangs in its state from one that never came up

  if (mode == L"fade") {
    banner->slideStep = 1;
    for (int i = 0; i < fadeSteps; ++i) {
      banner->fadeStep();
      banner->presentImage();
    }
  } else if (mode == L"safe") {
    showSafeNotice(*notices, banner->notices, true);
    banner->safeNoticeShown = 1;
  } else if (mode == L"blocker" || mode == L"diagnose") {
    diagnoseBlocker(*notices, *banner->finder, banner->notices);
  } else if (mode == L"prompt") {
    HANDLE answering = CreateThread(nullptr, 0, answerPrompt, nullptr, 0, nullptr);
    diagnoseBlocker(*notices, *banner->finder, banner->notices);
    if (answering != nullptr) {
      WaitForSingleObject(answering, 5000);
      CloseHandle(answering);
    }
  }
  SetTimer(hwnd, 1, 120000, nullptr);

  char line[160];
  std::snprintf(line, sizeof line, "hwnd %llu",
                static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(hwnd)));
  appendStatus(line);
  std::snprintf(line, sizeof line, "workarea %ld %ld %ld %ld", work.left, work.top, work.right,
                work.bottom);
  appendStatus(line);
  std::snprintf(line, sizeof line, "position %ld %ld", banner->position.x, banner->position.y);
  appendStatus(line);
  std::snprintf(line, sizeof line, "size %ld %ld", banner->imageSize.cx, banner->imageSize.cy);
  appendStatus(line);
  std::snprintf(line, sizeof line, "text %ld %ld", banner->textExtent.cx, banner->textExtent.cy);
  appendStatus(line);
  const RECT& ok = banner->okButtonRect;
  const RECT& cancel = banner->cancelButtonRect;
  std::snprintf(line, sizeof line, "ok %ld %ld %ld %ld", ok.left, ok.top, ok.right, ok.bottom);
  appendStatus(line);
  std::snprintf(line, sizeof line, "cancel %ld %ld %ld %ld", cancel.left, cancel.top, cancel.right,
                cancel.bottom);
  appendStatus(line);
  std::snprintf(line, sizeof line, "blocker-shown %d", banner->notices.blockerNoticeShown);
  appendStatus(line);
  if (mode == L"diagnose" || mode == L"prompt") {
    std::snprintf(line, sizeof line, "found-pid %lu",
                  static_cast<unsigned long>(banner->finder->findings.holderPid));
    appendStatus(line);
  }
  appendStatus("ready");

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  banner = nullptr;
  notices = nullptr;
  owner.reset();
  return 0;
}
