#include "ui/notices_win32.h"

#include <shellapi.h>

#include "base/module_win32.h"
#include "base/text_win32.h"
#include "base/system_api_win32.h"
#include "base/text.h"
#include "ui/banner_messages.h"

namespace tarnwick {
namespace {

// The record in the form that every supported system accepts (936 bytes in
// a 32-bit process), without the fields of later shell versions.
constexpr DWORD kNotifyRecordSize = NOTIFYICONDATAW_V2_SIZE;
constexpr UINT kNotifyVersion = 3;
constexpr UINT kBalloonShowMs = 30000;
constexpr UINT kPromptStyle =
    MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2;  // 0x134: No is the default

void beginRecord(NOTIFYICONDATAW& data, HWND banner, NoticeIcon icon) {
  ZeroMemory(&data, sizeof data);
  data.cbSize = kNotifyRecordSize;
  data.hWnd = banner;
  data.uID = static_cast<UINT>(icon);
}

}  // namespace

void WindowsNoticePlatform::loadString(uint32_t id, char16_t* buffer, size_t capacity) {
  if (capacity == 0) return;
  buffer[0] = 0;
  const int n = ::LoadStringW(moduleInstance(), id, wide(buffer), static_cast<int>(capacity));
  if (n <= 0) buffer[0] = 0;
}

void WindowsNoticePlatform::showBalloon(const Balloon& balloon) {
  NOTIFYICONDATAW data;
  beginRecord(data, banner_, balloon.icon);
  data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_INFO;
  data.uCallbackMessage =
      balloon.icon == NoticeIcon::Safe ? WM_BANNER_SAFE_NOTICE : WM_BANNER_BLOCKER_NOTICE;
  data.hIcon = icon_;
  copyText(reinterpret_cast<char16_t*>(data.szTip), sizeof data.szTip / sizeof data.szTip[0],
           u"Tarnwick");
  static_assert(sizeof data.szInfo / sizeof data.szInfo[0] == kBalloonTextCapacity,
                "balloon text field");
  static_assert(sizeof data.szInfoTitle / sizeof data.szInfoTitle[0] == kTitleCapacity,
                "balloon title field");
  copyText(reinterpret_cast<char16_t*>(data.szInfo), kBalloonTextCapacity, balloon.text);
  copyText(reinterpret_cast<char16_t*>(data.szInfoTitle), kTitleCapacity, balloon.title);
  data.uTimeout = kBalloonShowMs;
  data.dwInfoFlags = balloon.infoFlags;
  ::Shell_NotifyIconW(NIM_ADD, &data);
  data.uVersion = kNotifyVersion;
  ::Shell_NotifyIconW(NIM_SETVERSION, &data);
  // The balloon closes properly only when its owner was in the foreground
  // and has handled a message since.
  ::SetForegroundWindow(banner_);
  ::PostMessageW(banner_, WM_NULL, 0, 0);
}

void WindowsNoticePlatform::removeBalloon(NoticeIcon icon) {
  NOTIFYICONDATAW data;
  beginRecord(data, banner_, icon);
  ::Shell_NotifyIconW(NIM_DELETE, &data);
}

uint32_t WindowsNoticePlatform::tickCount() { return ::GetTickCount(); }

void WindowsNoticePlatform::enableBanner(bool enable) {
  ::EnableWindow(banner_, enable ? TRUE : FALSE);
}

bool WindowsNoticePlatform::askYesNo(const char16_t* text, const char16_t* caption) {
  return ::MessageBoxW(banner_, wide(text), wide(caption), kPromptStyle) == IDYES;
}

bool WindowsNoticePlatform::openProcess(uint32_t pid) {
  // Reading the executable's path proves that the id still names the process found.
  process_.reset(
      ::OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
  return static_cast<bool>(process_);
}

bool WindowsNoticePlatform::openedProcessImage(char16_t* buffer, size_t capacity) {
  buffer[0] = 0;
  const SystemApi& api = systemApi();
  DWORD n = api.GetModuleFileNameExW == nullptr
                ? 0
                : api.GetModuleFileNameExW(process_.get(), nullptr, wide(buffer),
                                           static_cast<DWORD>(capacity));
  if (n == 0 && api.QueryFullProcessImageNameW != nullptr) {
    // No module list (a 64-bit process seen from a 32-bit build): the path the
    // system recorded when the process started.
    DWORD size = static_cast<DWORD>(capacity);
    n = api.QueryFullProcessImageNameW(process_.get(), 0, wide(buffer), &size) ? size : 0;
  }
  if (n == 0 || n >= capacity) {  // failed, or the path did not fit
    buffer[0] = 0;
    return false;
  }
  buffer[n] = 0;
  return true;
}

uint64_t WindowsNoticePlatform::openedProcessStartTime() {
  FILETIME created, exited, kernel, user;
  if (!::GetProcessTimes(process_.get(), &created, &exited, &kernel, &user)) return 0;
  return static_cast<uint64_t>(created.dwHighDateTime) << 32 | created.dwLowDateTime;
}

void WindowsNoticePlatform::terminateOpenedProcess() { ::TerminateProcess(process_.get(), 0); }

void WindowsNoticePlatform::closeOpenedProcess() { process_.reset(); }

}  // namespace tarnwick
