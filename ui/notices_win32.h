// The notices' platform on Windows: the notification area, the prompt owned
// by the banner window and the process to terminate.
#pragma once

#include <windows.h>

#include "base/owners_win32.h"
#include "ui/notices.h"

namespace tarnwick {

class WindowsNoticePlatform final : public NoticePlatform {
 public:
  // `banner` is read at each call: the platform may be built before the
  // window is created. It outlives the platform.
  WindowsNoticePlatform(const HWND& banner, HICON icon) : banner_(banner), icon_(icon) {}
  WindowsNoticePlatform(HWND&&, HICON) = delete;

  void loadString(uint32_t id, char16_t* buffer, size_t capacity) override;
  void showBalloon(const Balloon& balloon) override;
  void removeBalloon(NoticeIcon icon) override;
  uint32_t tickCount() override;
  void enableBanner(bool enable) override;
  bool askYesNo(const char16_t* text, const char16_t* caption) override;
  bool openProcess(uint32_t pid) override;
  bool openedProcessImage(char16_t* buffer, size_t capacity) override;
  uint64_t openedProcessStartTime() override;
  void terminateOpenedProcess() override;
  void closeOpenedProcess() override;

 private:
  const HWND& banner_;
  HICON icon_;
  UniqueHandle process_;
};

}  // namespace tarnwick
