#include "ui/banner_query_win32.h"

#include <windows.h>

#include <cwchar>

#include "ui/banner_messages.h"

namespace tarnwick {
namespace {

struct DriveQuery {
  char16_t driveLetter;
  DWORD started;
  DWORD limitMs;
  bool served;
};

BOOL CALLBACK askBanner(HWND window, LPARAM context) {
  DriveQuery& query = *reinterpret_cast<DriveQuery*>(context);
  wchar_t className[64] = {};
  if (::GetClassNameW(window, className, 64) == 0 ||
      std::wcscmp(className, kBannerClassName) != 0) {
    return TRUE;
  }
  const DWORD elapsed = ::GetTickCount() - query.started;
  if (elapsed >= query.limitMs) return FALSE;  // out of time: no banner counts as serving
  DWORD_PTR answer = 0;
  if (::SendMessageTimeoutW(window, WM_BANNER_QUERY_DRIVE, query.driveLetter, 0, SMTO_NORMAL,
                            query.limitMs - elapsed, &answer) != 0 &&
      answer != 0) {
    query.served = true;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

bool bannerServesDrive(char16_t driveLetter, uint32_t limitMs) {
  DriveQuery query = {driveLetter, ::GetTickCount(), limitMs, false};
  ::EnumWindows(askBanner, reinterpret_cast<LPARAM>(&query));
  return query.served;
}

}  // namespace tarnwick
