// Test-only program: runs a program with another temporary folder.
//   with_temp.exe DIRFILE PROGRAM [ARGS...]
// DIRFILE holds the folder's Windows path (UTF-16LE, no BOM), which may hold
// any character. TMP and TEMP name that folder for PROGRAM and everything it
// starts; PROGRAM runs in its own folder as its current directory, as when a
// user starts it from Explorer. Waits up to 600 s and exits with PROGRAM's
// exit code (97: no such folder, 99: PROGRAM could not be started).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

namespace {

std::wstring quoted(const wchar_t* argument) {
  std::wstring text = argument;
  if (!text.empty() && text.find_first_of(L" \t") == std::wstring::npos) return text;
  return L"\"" + text + L"\"";
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  HANDLE file =
      CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 97;
  wchar_t folder[MAX_PATH] = {};
  DWORD read = 0;
  ReadFile(file, folder, sizeof folder - sizeof(wchar_t), &read, nullptr);
  CloseHandle(file);
  DWORD attributes = GetFileAttributesW(folder);
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return 97;
  SetEnvironmentVariableW(L"TMP", folder);
  SetEnvironmentVariableW(L"TEMP", folder);

  std::wstring commandLine = L"\"" + std::wstring(argv[2]) + L"\"";
  for (int i = 3; i < argc; ++i) commandLine += L" " + quoted(argv[i]);
  std::wstring directory = argv[2];
  size_t slash = directory.find_last_of(L'\\');
  directory = slash == std::wstring::npos ? L"" : directory.substr(0, slash + 1);

  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  // Many processes started at once under Wine can see a start fail now and
  // then; the program under test is not yet running then, so try again.
  bool started = false;
  for (int attempt = 0; attempt < 10 && !started; ++attempt) {
    if (attempt > 0) Sleep(200);
    std::wstring line = commandLine;  // CreateProcessW may write into it
    started = CreateProcessW(argv[2], &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                             directory.empty() ? nullptr : directory.c_str(), &startup,
                             &process) != FALSE;
    if (!started) std::fwprintf(stderr, L"with_temp: start failed (%lu)\n", GetLastError());
  }
  if (!started) return 99;
  CloseHandle(process.hThread);
  DWORD code = 98;
  if (WaitForSingleObject(process.hProcess, 600000) == WAIT_OBJECT_0) {
    GetExitCodeProcess(process.hProcess, &code);
  }
  CloseHandle(process.hProcess);
  return static_cast<int>(code);
}
