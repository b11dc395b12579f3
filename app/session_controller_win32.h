// The objects that every role of a process shares: the launcher mutex, the
// started event, the set of present volume interfaces, the WMI connection to
// the local machine, and the path buffers of the temporary copy.
#pragma once

#include <windows.h>
#include <setupapi.h>
#include <wbemidl.h>

#include "base/object_names.h"
#include "base/owners_win32.h"

namespace tarnwick {

struct SessionController {
  SessionController();
  ~SessionController();
  SessionController(const SessionController&) = delete;
  SessionController& operator=(const SessionController&) = delete;

  // True only when the volume set, the WMI connection, the mutex and the event all exist.
  bool isValid() const;

  UniqueHandle launcherMutex;
  UniqueHandle startedEvent;  // empty in a worker once it has signalled
  ComPtr<IWbemLocator> wmiLocator;
  ComPtr<IWbemServices> wmiServices;  // empty when the connection failed
  UniqueDevInfo volumeSet;
  char16_t modulePath[260] = {};
  char16_t tempDir[260] = {};
  char16_t batchPath[260] = {};
  char16_t tempExePath[260] = {};
  char16_t commandLine[520] = {};
};

// Builds the controller, and on it the Windows hosts of the roles and the
// device platforms, runs the role chosen from the process-wide options,
// destroys them again. Returns 0, or E_OUTOFMEMORY when the controller
// cannot be allocated.
HRESULT runRole();

}  // namespace tarnwick
