// The Windows side of the temporary copy: the launcher's relaunch from the
// temporary folder and the worker's clean-up batch, with the file and
// code-page operations they are built from.
#pragma once

#include <windows.h>

#include "app/options.h"
#include "app/session_controller_win32.h"
#include "app/temp_copy.h"
#include "device/resolve.h"

namespace tarnwick {

// The executable's own path. False, with an empty buffer, when it cannot be
// read or fills the whole buffer (the system then cuts it off).
bool ownModulePath(char16_t (&path)[kPathUnits]);

// GetTempFileNameW, DeleteFileW and an exclusive CreateFileW.
class WindowsTempNameFiles final : public TempNameFiles {
 public:
  uint32_t formName(const char16_t* dir, const char16_t* prefix, uint32_t number,
                    char16_t (&name)[kPathUnits]) override;
  bool createExclusive(const char16_t* path) override;
};

// Text written in the ANSI code page is carried when reading it back in the
// OEM code page (the command interpreter's) and in the ANSI code page gives
// the same text.
class WindowsBatchCodePage final : public BatchCodePage {
 public:
  bool carries(const char16_t* text) override;
  bool shortPath(const char16_t* path, char16_t (&shortForm)[kPathUnits]) override;
};

// Converts `text` to the ANSI code page and writes it to `file`.
bool writeAnsiText(HANDLE file, const char16_t* text);

// Creates (or replaces) the batch file and writes its three lines, each
// ending in CR LF. False when the file cannot be created.
bool writeCleanupBatch(const char16_t* batchPath, const CleanupBatch& batch);

// The launcher's work while it holds the launcher mutex: when its own drive
// resolves through `resolver` to an ejectable device that no banner serves
// yet, copies the executable into `controller.tempDir`, starts the copy as
// the worker for that drive and waits up to 6000 ms for it to signal the
// started event.
void relaunchFromTemp(SessionController& controller, const LaunchOptions& options,
                      ResolvePlatform& resolver);

// The worker's last step: writes the clean-up batch into the temporary
// folder and starts the command interpreter on it, detached, with the
// temporary folder as its current directory.
void startCleanupBatch(SessionController& controller);

// True when `process` runs the same executable file as this process (the
// same file, however its path is spelled). False when that cannot be told.
bool runsOwnExecutable(HANDLE process);

}  // namespace tarnwick
