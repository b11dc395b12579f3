#include "ui/banner_query_win32.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <thread>

#include "ui/banner_messages.h"

namespace tarnwick {
namespace {

// A stand-in for a running banner: a top-level window on a thread of its
// own that answers the drive query for one letter, or never answers.
LRESULT CALLBACK answerQuery(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_BANNER_QUERY_DRIVE) {
    return static_cast<LONG_PTR>(wParam) == ::GetWindowLongPtrW(window, GWLP_USERDATA) ? 1 : 0;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

class StandInBanner {
 public:
  StandInBanner(const wchar_t* className, char16_t letter, bool hung = false) {
    ready_ = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    release_ = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    thread_ = std::thread([=] { run(className, letter, hung); });
    ::WaitForSingleObject(ready_, 10000);
  }
  ~StandInBanner() {
    ::SetEvent(release_);
    ::PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
    thread_.join();
    ::CloseHandle(ready_);
    ::CloseHandle(release_);
  }

 private:
  void run(const wchar_t* className, char16_t letter, bool hung) {
    threadId_ = ::GetCurrentThreadId();
    WNDCLASSW wc = {};
    wc.lpfnWndProc = answerQuery;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = className;
    ATOM atom = ::RegisterClassW(&wc);
    HWND window = ::CreateWindowExW(WS_EX_TOOLWINDOW, className, L"", WS_POPUP, 0, 0, 10, 10,
                                    nullptr, nullptr, wc.hInstance, nullptr);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, letter);
    MSG msg;
    ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue exists from here on
    ::SetEvent(ready_);
    if (hung) {
      ::WaitForSingleObject(release_, INFINITE);  // busy: handles no message
    } else {
      while (::GetMessageW(&msg, nullptr, 0, 0) > 0) ::DispatchMessageW(&msg);
    }
    ::DestroyWindow(window);
    if (atom != 0) ::UnregisterClassW(className, wc.hInstance);
  }

  HANDLE ready_ = nullptr;
  HANDLE release_ = nullptr;
  DWORD threadId_ = 0;
  std::thread thread_;
};

TEST(BannerQuery, OnlyABannerOfThatDriveAnswersYes) {
  EXPECT_FALSE(bannerServesDrive(u'E'));  // no banner at all
  StandInBanner f(L"ShadeWin", u'F');
  StandInBanner e(L"ShadeWin", u'E');
  EXPECT_TRUE(bannerServesDrive(u'E'));
  EXPECT_TRUE(bannerServesDrive(u'F'));
  EXPECT_FALSE(bannerServesDrive(u'G'));
  EXPECT_FALSE(bannerServesDrive(u'e'));  // letters are compared exactly
}

TEST(BannerQuery, WindowsOfOtherClassesAreNotAsked) {
  StandInBanner lower(L"shadewin", u'E');
  StandInBanner longer(L"ShadeWin2", u'E');
  StandInBanner shorter(L"ShadeWi", u'E');
  EXPECT_FALSE(bannerServesDrive(u'E'));
}

TEST(BannerQuery, ABannerThatNeverAnswersDoesNotHoldTheCallerBeyondTheLimit) {
  StandInBanner hung(L"ShadeWin", u'E', true);
  const DWORD started = ::GetTickCount();
  EXPECT_FALSE(bannerServesDrive(u'E', 300));
  const DWORD waited = ::GetTickCount() - started;
  EXPECT_GE(waited, 250u);
  EXPECT_LT(waited, 5000u);
}

}  // namespace
}  // namespace tarnwick
