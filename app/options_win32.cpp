#include <windows.h>
#include <shellapi.h>

#include "app/options.h"

namespace tarnwick {

void loadLaunchOptions() {
  int count = 0;
  LPWSTR* arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (arguments == nullptr) return;  // the record stays all zero: launcher with defaults
  static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows text is UTF-16");
  launchOptions() = parseLaunchOptions(reinterpret_cast<const char16_t* const*>(arguments),
                                       count > 0 ? static_cast<size_t>(count) : 0);
  ::GlobalFree(arguments);
}

}  // namespace tarnwick
