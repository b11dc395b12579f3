#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include "app/session_controller_win32.h"
#include "app/session_hosts_win32.h"

namespace tarnwick {
namespace {

bool namedMutexExists() {
  UniqueHandle h(::OpenMutexW(SYNCHRONIZE, FALSE, kLauncherMutexName));
  return static_cast<bool>(h);
}
bool namedEventExists() {
  UniqueHandle h(::OpenEventW(SYNCHRONIZE, FALSE, kStartedEventName));
  return static_cast<bool>(h);
}

class SessionControllerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(::CoInitialize(nullptr)));
    ::CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_PKT_PRIVACY,
                           RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
  }
  void TearDown() override { ::CoUninitialize(); }
};

TEST_F(SessionControllerTest, OpensTheNamedObjectsAndReleasesThemAgain) {
  {
    SessionController c;
    EXPECT_TRUE(c.isValid());
    EXPECT_TRUE(namedMutexExists());
    EXPECT_TRUE(namedEventExists());
    size_t n = 0;
    while (c.tempDir[n] != 0) ++n;
    ASSERT_GT(n, 0u);
    EXPECT_EQ(c.tempDir[n - 1], u'\\');
    EXPECT_EQ(c.modulePath[0], 0);
    EXPECT_EQ(c.commandLine[0], 0);
  }
  EXPECT_FALSE(namedMutexExists());
  EXPECT_FALSE(namedEventExists());
}

TEST_F(SessionControllerTest, StartedEventIsAutoResetAndSignalledByTheWorker) {
  SessionController launcher;
  SessionController worker;
  WindowsSessionHost session(worker);
  session.signalStarted();
  EXPECT_FALSE(worker.startedEvent);
  EXPECT_EQ(::WaitForSingleObject(launcher.startedEvent.get(), 0), WAIT_OBJECT_0);
  EXPECT_EQ(::WaitForSingleObject(launcher.startedEvent.get(), 0),
            static_cast<DWORD>(WAIT_TIMEOUT));
}

TEST(WaitResults, MapEveryOutcome) {
  EXPECT_EQ(waitResultOf(WAIT_OBJECT_0), WaitResult::Signalled);
  EXPECT_EQ(waitResultOf(WAIT_ABANDONED), WaitResult::Abandoned);
  EXPECT_EQ(waitResultOf(WAIT_TIMEOUT), WaitResult::TimedOut);
  EXPECT_EQ(waitResultOf(WAIT_FAILED), WaitResult::Failed);
}

}  // namespace
}  // namespace tarnwick
