#include "base/timed_thread_win32.h"

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

struct Work {
  volatile LONG value = 0;
  volatile DWORD threadId = 0;
  HANDLE never = nullptr;  // an event nobody sets
};

DWORD WINAPI quick(void* argument) {
  auto* work = static_cast<Work*>(argument);
  work->value = 42;
  return 0;
}

DWORD WINAPI stuck(void* argument) {
  auto* work = static_cast<Work*>(argument);
  work->threadId = ::GetCurrentThreadId();
  ::WaitForSingleObject(work->never, INFINITE);
  work->value = 1;  // never reached
  return 0;
}

TEST(TimedThread, ReportsAThreadThatFinishedInTime) {
  static Work work;
  EXPECT_TRUE(runTimedThread(&quick, &work, 5000));
  EXPECT_EQ(work.value, 42);
}

TEST(TimedThread, TerminatesAThreadThatOverrunsItsLimitAndReturnsSoonAfter) {
  static Work work;
  work.never = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(work.never, nullptr);
  const DWORD start = ::GetTickCount();
  EXPECT_FALSE(runTimedThread(&stuck, &work, 300));
  const DWORD elapsed = ::GetTickCount() - start;
  EXPECT_GE(elapsed, 290u);
  EXPECT_LT(elapsed, 300u + kTerminatedThreadWaitMs + 2000u);  // generous: a busy machine
  ASSERT_NE(work.threadId, 0u);
  // The thread is gone (or ending): its object, if still there, is signalled.
  HANDLE thread = ::OpenThread(SYNCHRONIZE, FALSE, work.threadId);
  if (thread != nullptr) {
    EXPECT_EQ(::WaitForSingleObject(thread, 2000), WAIT_OBJECT_0);
    ::CloseHandle(thread);
  }
  EXPECT_EQ(work.value, 0);
  ::CloseHandle(work.never);
}

}  // namespace
}  // namespace tarnwick
