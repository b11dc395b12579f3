#include "app/temp_copy_win32.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/module_win32.h"
#include "base/text_win32.h"
#include "base/text.h"

namespace tarnwick {
namespace {

std::wstring w(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }

// A fresh folder under the temporary folder, removed with its files again.
class Folder {
 public:
  explicit Folder(const wchar_t* name) {
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    path_ = std::wstring(temp) + name + L"\\";
    ::CreateDirectoryW(path_.c_str(), nullptr);
  }
  ~Folder() {
    for (const auto& f : files()) ::DeleteFileW((path_ + f).c_str());
    ::RemoveDirectoryW(path_.c_str());
  }
  const std::wstring& path() const { return path_; }
  const char16_t* text() const { return reinterpret_cast<const char16_t*>(path_.c_str()); }
  std::vector<std::wstring> files() const {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((path_ + L"*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
      if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(data.cFileName);
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    return names;
  }
  std::string bytesOf(const std::wstring& name) const {
    std::string bytes;
    HANDLE file = ::CreateFileW((path_ + name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    char buffer[4096];
    DWORD read = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0)
      bytes.append(buffer, read);
    ::CloseHandle(file);
    return bytes;
  }

 private:
  std::wstring path_;
};

TEST(TempNamesOnDisk, EachNameIsReservedEmptyWithoutATmpFileLeft) {
  Folder folder(L"twk-names");
  WindowsTempNameFiles files;
  char16_t exe[kPathUnits], bat[kPathUnits];
  ASSERT_TRUE(makeUniqueTempName(folder.text(), kTempPrefix, kCopyExtension, exe, files));
  ASSERT_TRUE(makeUniqueTempName(folder.text(), kTempPrefix, kBatchExtension, bat, files));
  EXPECT_EQ(w(exe).substr(0, folder.path().size() + 3), folder.path() + L"TWK");
  EXPECT_EQ(w(exe).substr(w(exe).size() - 4), L".exe");
  EXPECT_EQ(w(bat).substr(w(bat).size() - 4), L".bat");
  EXPECT_EQ(folder.files().size(), 2u);  // exactly the two reservations, no .tmp
  EXPECT_EQ(folder.bytesOf(w(exe).substr(folder.path().size())), "");

  char16_t path[kPathUnits];
  const std::wstring missing = folder.path() + L"missing\\";
  EXPECT_FALSE(makeUniqueTempName(reinterpret_cast<const char16_t*>(missing.c_str()), kTempPrefix,
                                  kCopyExtension, path, files));
  EXPECT_EQ(path[0], 0);
}

TEST(CleanupBatchOnDisk, ThreeLinesInTheAnsiCodePageWithCrLf) {
  Folder folder(L"twk batch");
  const std::wstring exe = folder.path() + L"TWK11b1.exe";
  const std::wstring bat = folder.path() + L"TWK11b2.bat";
  WindowsBatchCodePage codePage;
  CleanupBatch batch;
  ASSERT_TRUE(buildCleanupBatch(reinterpret_cast<const char16_t*>(exe.c_str()),
                                reinterpret_cast<const char16_t*>(bat.c_str()), folder.text(), 704,
                                codePage, batch));
  ASSERT_TRUE(writeCleanupBatch(reinterpret_cast<const char16_t*>(bat.c_str()), batch));
  std::string dir(folder.path().begin(), folder.path().end());  // ASCII
  EXPECT_EQ(folder.bytesOf(L"TWK11b2.bat"), "\"" + dir + "TWK11b1.exe\" -p704\r\n" + "DEL \"" +
                                                dir + "TWK11b1.exe\"\r\n" + "DEL \"" + dir +
                                                "TWK11b2.bat\"\r\n");
}

TEST(AnsiTextOnDisk, TextIsWrittenInTheAnsiCodePage) {
  if (::GetACP() != 1252) GTEST_SKIP() << "expects the Western code page";
  Folder folder(L"twk-ansi");
  const std::wstring path = folder.path() + L"t.txt";
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(writeAnsiText(file, u"T\u00fcr \u65e5"));
  EXPECT_TRUE(writeAnsiText(file, u""));
  std::u16string big(1100, u'a');
  EXPECT_FALSE(writeAnsiText(file, big.c_str()));  // more than 1024 bytes: not converted
  ::CloseHandle(file);
  EXPECT_EQ(folder.bytesOf(L"t.txt"), "T\xfcr ?");
}

TEST(BatchCodePage, AsciiIsCarriedOtherTextOnlyWhereBothCodePagesAgree) {
  WindowsBatchCodePage page;
  EXPECT_TRUE(page.carries(u"C:\\Tom & Jerry (work) 100%\\TWK1.exe"));
  if (::GetACP() == 1252 && ::GetOEMCP() == 437) {
    EXPECT_FALSE(page.carries(u"C:\\T\u00fcr\\TWK1.exe"));  // 0xFC in 1252 is another letter in 437
    EXPECT_FALSE(page.carries(u"C:\\\u65e5\u672c\\TWK1.exe"));
  }
  Folder folder(L"twk-\u00fc-\u65e5\u672c");
  char16_t shortForm[kPathUnits];
  ASSERT_TRUE(page.shortPath(folder.text(), shortForm));
  EXPECT_FALSE(page.shortPath(u"C:\\no such folder\\x.exe", shortForm));
}

TEST(OwnExecutable, OnlyAProcessOfTheSameFileCounts) {
  char16_t path[kPathUnits];
  ASSERT_TRUE(ownModulePath(path));
  EXPECT_EQ(path[1], u':');
  HANDLE self = ::OpenProcess(PROCESS_ALL_ACCESS, FALSE, ::GetCurrentProcessId());
  ASSERT_NE(self, nullptr);
  EXPECT_TRUE(runsOwnExecutable(self));
  ::CloseHandle(self);

  // An interpreter that waits for input on a pipe until the pipe is closed.
  SECURITY_ATTRIBUTES inheritable = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE read = nullptr, write = nullptr;
  ASSERT_TRUE(::CreatePipe(&read, &write, &inheritable, 0));
  ::SetHandleInformation(write, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = read;
  PROCESS_INFORMATION other = {};
  wchar_t command[] = L"cmd.exe";
  ASSERT_TRUE(::CreateProcessW(nullptr, command, nullptr, nullptr, TRUE, DETACHED_PROCESS, nullptr,
                               nullptr, &startup, &other));
  ::CloseHandle(read);
  ::WaitForInputIdle(other.hProcess, 2000);
  EXPECT_FALSE(runsOwnExecutable(other.hProcess));
  ::CloseHandle(write);
  if (::WaitForSingleObject(other.hProcess, 10000) != WAIT_OBJECT_0)
    ::TerminateProcess(other.hProcess, 1);
  ::CloseHandle(other.hThread);
  ::CloseHandle(other.hProcess);
}

}  // namespace
}  // namespace tarnwick
