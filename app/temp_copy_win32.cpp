#include "app/temp_copy_win32.h"

#include "base/module_win32.h"
#include "base/text_win32.h"
#include "base/owners_win32.h"
#include "base/text.h"
#include "ui/banner_query_win32.h"

namespace tarnwick {
namespace {

constexpr DWORD kDetachedNormal = DETACHED_PROCESS | NORMAL_PRIORITY_CLASS;  // 0x28

class FileSink final : public AnsiTextSink {
 public:
  explicit FileSink(HANDLE file) : file_(file) {}
  int convert(const char16_t* text, char* bytes, int capacity) override {
    return ::WideCharToMultiByte(CP_ACP, 0, wide(text), -1, bytes, capacity, nullptr, nullptr);
  }
  bool write(const char* bytes, uint32_t count, uint32_t& written) override {
    DWORD done = 0;
    if (!::WriteFile(file_, bytes, count, &done, nullptr)) return false;
    written = done;
    return true;
  }

 private:
  HANDLE file_;
};

// Reads `bytes` back in `codePage` and compares with `text`.
bool decodesTo(UINT codePage, const char* bytes, int count, const char16_t* text) {
  wchar_t back[kAnsiTextBytes];
  const int n = ::MultiByteToWideChar(codePage, 0, bytes, count, back, kAnsiTextBytes);
  return n > 0 && textEquals(reinterpret_cast<const char16_t*>(back), text);
}

bool fileIdentity(const wchar_t* path, BY_HANDLE_FILE_INFORMATION& info) {
  UniqueHandle file(::CreateFileW(path, FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
  return file && ::GetFileInformationByHandle(file.get(), &info);
}

using GetModuleFileNameExWFn = DWORD(WINAPI*)(HANDLE, HMODULE, wchar_t*, DWORD);

// The path of the executable that `process` runs.
bool processImagePath(HANDLE process, wchar_t (&path)[kPathUnits]) {
  UniqueModule psapi(::LoadLibraryW(L"PSAPI.DLL"));
  if (!psapi) return false;
  auto getName = reinterpret_cast<GetModuleFileNameExWFn>(
      reinterpret_cast<void*>(::GetProcAddress(psapi.get(), "GetModuleFileNameExW")));
  if (getName == nullptr) return false;
  const DWORD n = getName(process, nullptr, path, kPathUnits);
  return n > 0 && n < kPathUnits;
}

}  // namespace

bool ownModulePath(char16_t (&path)[kPathUnits]) {
  const DWORD n = ::GetModuleFileNameW(moduleInstance(), wide(path), kPathUnits);
  if (n == 0 || n >= kPathUnits) {  // a full buffer holds a path cut short
    path[0] = 0;
    return false;
  }
  return true;
}

uint32_t WindowsTempNameFiles::formName(const char16_t* dir, const char16_t* prefix,
                                        uint32_t number, char16_t (&name)[kPathUnits]) {
  const UINT used = ::GetTempFileNameW(wide(dir), wide(prefix), number, wide(name));
  if (used == 0) return 0;
  ::DeleteFileW(wide(name));
  return used;
}

bool WindowsTempNameFiles::createExclusive(const char16_t* path) {
  UniqueHandle file(::CreateFileW(wide(path), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  return static_cast<bool>(file);
}

bool WindowsBatchCodePage::carries(const char16_t* text) {
  char bytes[kAnsiTextBytes];
  const int n =
      ::WideCharToMultiByte(CP_ACP, 0, wide(text), -1, bytes, kAnsiTextBytes, nullptr, nullptr);
  return n > 0 && decodesTo(CP_OEMCP, bytes, n, text) && decodesTo(CP_ACP, bytes, n, text);
}

bool WindowsBatchCodePage::shortPath(const char16_t* path, char16_t (&shortForm)[kPathUnits]) {
  const DWORD n = ::GetShortPathNameW(wide(path), wide(shortForm), kPathUnits);
  if (n == 0 || n >= kPathUnits) {
    shortForm[0] = 0;
    return false;
  }
  return true;
}

bool writeAnsiText(HANDLE file, const char16_t* text) {
  FileSink sink(file);
  return writeAnsiText(text, sink);
}

bool writeCleanupBatch(const char16_t* batchPath, const CleanupBatch& batch) {
  UniqueHandle file(::CreateFileW(wide(batchPath), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  // A failed write is not noticed: the interpreter runs what was written.
  for (const auto& line : batch.lines) {
    writeAnsiText(file.get(), line);
    writeAnsiText(file.get(), u"\r\n");
  }
  return true;
}

void relaunchFromTemp(SessionController& c, const LaunchOptions& options,
                      ResolvePlatform& resolver) {
  if (!ownModulePath(c.modulePath)) return;
  const char16_t driveLetter = c.modulePath[0];
  {
    RemovableDevice own(driveLetter);
    if (!resolveDevice(own, resolver)) return;  // not ejectable
  }
  if (bannerServesDrive(driveLetter)) return;

  WindowsTempNameFiles files;
  if (!makeUniqueTempName(c.tempDir, kTempPrefix, kCopyExtension, c.tempExePath, files)) return;
  if (!buildRelaunchCommandLine(c.tempExePath, driveLetter, options, c.commandLine) ||
      !::CopyFileW(wide(c.modulePath), wide(c.tempExePath), FALSE)) {
    ::DeleteFileW(wide(c.tempExePath));  // the reservation, or a partial copy
    return;
  }
  // Drop a read-only or other attribute that came along from the drive.
  ::SetFileAttributesW(wide(c.tempExePath), FILE_ATTRIBUTE_NORMAL);

  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  ::ResetEvent(c.startedEvent.get());
  if (!::CreateProcessW(nullptr, wide(c.commandLine), nullptr, nullptr, TRUE, kDetachedNormal,
                        nullptr, wide(c.tempDir), &startup, &process)) {
    ::DeleteFileW(wide(c.tempExePath));
    return;
  }
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  // Signalled or not, the launcher is done: a worker that starts late carries on alone.
  ::WaitForSingleObject(c.startedEvent.get(), kStartedWaitMs);
}

void startCleanupBatch(SessionController& c) {
  if (!ownModulePath(c.modulePath)) return;
  WindowsTempNameFiles files;
  if (!makeUniqueTempName(c.tempDir, kTempPrefix, kBatchExtension, c.batchPath, files)) return;
  WindowsBatchCodePage codePage;
  CleanupBatch batch;
  if (!buildCleanupBatch(c.modulePath, c.batchPath, c.tempDir, ::GetCurrentProcessId(), codePage,
                         batch) ||
      !writeCleanupBatch(c.batchPath, batch) ||
      !buildInterpreterCommandLine(c.batchPath, c.tempDir, c.commandLine)) {
    ::DeleteFileW(wide(c.batchPath));
    return;
  }

  // Three inheritable pipes stand in for the interpreter's missing console.
  SECURITY_ATTRIBUTES inheritable = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE pipes[3][2] = {};
  for (auto& pipe : pipes) ::CreatePipe(&pipe[0], &pipe[1], &inheritable, 0);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = pipes[0][0];
  startup.hStdOutput = pipes[1][1];
  startup.hStdError = pipes[2][1];
  PROCESS_INFORMATION process = {};
  const BOOL started =
      ::CreateProcessW(nullptr, wide(c.commandLine), nullptr, nullptr, TRUE, kDetachedNormal,
                       nullptr, wide(c.tempDir), &startup, &process);
  for (auto& pipe : pipes) {
    for (HANDLE end : pipe) {
      if (end != nullptr) ::CloseHandle(end);
    }
  }
  if (!started) {
    ::DeleteFileW(wide(c.batchPath));
    return;
  }
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
}

bool runsOwnExecutable(HANDLE process) {
  wchar_t own[kPathUnits];
  const DWORD n = ::GetModuleFileNameW(nullptr, own, kPathUnits);
  wchar_t other[kPathUnits];
  if (n == 0 || n >= kPathUnits || !processImagePath(process, other)) return false;
  BY_HANDLE_FILE_INFORMATION a = {};
  BY_HANDLE_FILE_INFORMATION b = {};
  return fileIdentity(own, a) && fileIdentity(other, b) &&
         a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

}  // namespace tarnwick
