#include "base/timed_thread_win32.h"

#include "base/owners_win32.h"

namespace tarnwick {

bool runTimedThread(LPTHREAD_START_ROUTINE procedure, void* argument, DWORD limitMs) {
  UniqueHandle thread(::CreateThread(nullptr, 0, procedure, argument, 0, nullptr));
  if (!thread) return false;
  if (::WaitForSingleObject(thread.get(), limitMs) == WAIT_OBJECT_0) return true;
  ::TerminateThread(thread.get(), 0);
  // Termination is asynchronous: give it a moment to take effect.
  ::WaitForSingleObject(thread.get(), kTerminatedThreadWaitMs);
  return false;
}

}  // namespace tarnwick
