// Work that may hang (the shell's automation objects, naming an arbitrary
// handle) runs on a disposable thread whose run time is limited.
#pragma once

#include <windows.h>

namespace tarnwick {

// After a time-out the terminated thread is given this long to be gone.
constexpr DWORD kTerminatedThreadWaitMs = 100;

// Runs procedure(argument) on a new thread (default security and stack) and
// waits up to limitMs for it to end. A thread still running then is
// terminated (exit code 0) and waited for up to kTerminatedThreadWaitMs, so
// the caller is blocked for at most about limitMs + 100 ms. True when the
// thread ran to its end in time; false when it was terminated or could not
// be created.
//
// A terminated thread releases nothing it held: keep its work to calls that
// may be abandoned, and its arguments to copies it owns (or data that
// outlives the process), since it may still be ending when this returns.
bool runTimedThread(LPTHREAD_START_ROUTINE procedure, void* argument, DWORD limitMs);

}  // namespace tarnwick
