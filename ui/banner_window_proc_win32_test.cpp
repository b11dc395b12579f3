#include "ui/banner_window_proc_win32.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "base/module_win32.h"
#include "base/object_names.h"
#include "base/text.h"
#include "device/device_platforms_win32.h"

namespace tarnwick {
namespace {

class BannerWindowProcTest : public ::testing::Test {
 protected:
  void SetUp() override {
    moduleInstance() = ::GetModuleHandleW(nullptr);
    registerBannerClass();
    copyText(device_.friendlyName, u"Test Stick");
    settings_.askFirst = true;  // the pulse waits for OK: no attempt is made
  }

  RemovableDevice device_{u'E'};
  BannerSettings settings_;
  WindowsEjectPlatform ejector_;
};

TEST_F(BannerWindowProcTest, NoWindowWithoutItsImageRampsOrFinder) {
  for (int missing = 0; missing < 3; ++missing) {
    BannerWindow banner(device_, settings_);
    if (missing == 0) {
      banner.imageBitmap.reset();
      banner.pixels = nullptr;
    } else if (missing == 1) {
      banner.bodyRamp.reset();
    } else {
      banner.finder.reset();
    }
    BannerBehaviour behaviour(banner, settings_, ejector_);
    EXPECT_FALSE(behaviour.createWindow()) << missing;
    EXPECT_EQ(banner.hwnd, nullptr);
    EXPECT_EQ(countBanners(), 0);
  }
}

TEST_F(BannerWindowProcTest, TheWindowIsPlacedShownCountedAndAnswersForItsDriveOnly) {
  BannerWindow banner(device_, settings_);
  {
    BannerBehaviour behaviour(banner, settings_, ejector_);
    ASSERT_TRUE(behaviour.createWindow());
    ASSERT_NE(banner.hwnd, nullptr);
    EXPECT_TRUE(::IsWindowVisible(banner.hwnd));
    EXPECT_EQ(countBanners(), 1);
    RECT area = {};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    RECT placed = {};
    ::GetWindowRect(banner.hwnd, &placed);
    EXPECT_EQ(placed.left, area.left);
    EXPECT_EQ(placed.top, (area.top + 3 * area.bottom) / 4);
    EXPECT_EQ(placed.right - placed.left, banner.imageSize.cx);
    EXPECT_EQ(placed.bottom - placed.top, 74);
    EXPECT_EQ(::SendMessageW(banner.hwnd, WM_BANNER_QUERY_DRIVE, u'E', 0), 1);
    EXPECT_EQ(::SendMessageW(banner.hwnd, WM_BANNER_QUERY_DRIVE, u'e', 0), 0);
    EXPECT_EQ(::SendMessageW(banner.hwnd, WM_BANNER_QUERY_DRIVE, u'G', 0), 0);

    // A second banner of the same process sits 56 pixels higher.
    RemovableDevice other(u'F');
    BannerWindow second(other, settings_);
    BannerBehaviour secondBehaviour(second, settings_, ejector_);
    ASSERT_TRUE(secondBehaviour.createWindow());
    EXPECT_EQ(countBanners(), 2);
    RECT higher = {};
    ::GetWindowRect(second.hwnd, &higher);
    EXPECT_EQ(higher.top, placed.top - 56);
  }
  // Destroying the behaviour destroyed the window.
  EXPECT_EQ(banner.hwnd, nullptr);
  EXPECT_EQ(countBanners(), 0);
}

DWORD WINAPI takeAndEnd(LPVOID mutex) {
  ::WaitForSingleObject(static_cast<HANDLE>(mutex), INFINITE);
  return 0;  // ends holding it: the mutex is abandoned
}

DWORD WINAPI tryTake(LPVOID mutex) {
  const DWORD result = ::WaitForSingleObject(static_cast<HANDLE>(mutex), 0);
  if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED)
    ::ReleaseMutex(static_cast<HANDLE>(mutex));
  return result;
}

DWORD onOtherThread(LPTHREAD_START_ROUTINE routine, HANDLE mutex) {
  HANDLE thread = ::CreateThread(nullptr, 0, routine, mutex, 0, nullptr);
  ::WaitForSingleObject(thread, 10000);
  DWORD code = 0;
  ::GetExitCodeThread(thread, &code);
  ::CloseHandle(thread);
  return code;
}

struct Holder {
  HANDLE mutex, release;
};

DWORD WINAPI holdUntilReleased(LPVOID p) {
  auto* h = static_cast<Holder*>(p);
  ::WaitForSingleObject(h->mutex, INFINITE);
  ::WaitForSingleObject(h->release, INFINITE);
  ::ReleaseMutex(h->mutex);
  return 0;
}

TEST(BannerMutex, AnAbandonedMutexIsOwnedThenReleasedSoOthersGetItNormally) {
  HANDLE mutex = ::CreateMutexW(nullptr, FALSE, nullptr);
  ASSERT_NE(mutex, nullptr);
  onOtherThread(takeAndEnd, mutex);
  EXPECT_EQ(waitForBannerMutex(mutex, 1000), MutexWait::Abandoned);
  ::ReleaseMutex(mutex);
  EXPECT_EQ(onOtherThread(tryTake, mutex), WAIT_OBJECT_0);

  // Held by a live thread: the wait times out and owns nothing.
  HANDLE held = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  Holder holder = {mutex, held};
  HANDLE thread = ::CreateThread(nullptr, 0, holdUntilReleased, &holder, 0, nullptr);
  while (onOtherThread(tryTake, mutex) == WAIT_OBJECT_0) ::Sleep(1);
  EXPECT_EQ(waitForBannerMutex(mutex, 50), MutexWait::TimedOut);
  ::SetEvent(held);
  ::WaitForSingleObject(thread, 10000);
  ::CloseHandle(thread);
  ::CloseHandle(held);
  ::CloseHandle(mutex);
}

}  // namespace
}  // namespace tarnwick
