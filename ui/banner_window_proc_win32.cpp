#include "ui/banner_window_proc_win32.h"

#include <windowsx.h>

#include "base/module_win32.h"
#include "resources/resource_ids.h"

namespace tarnwick {
namespace {

constexpr DWORD kBannerExStyle = WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST;
constexpr wchar_t kBannerTitle[] = L"Tarnwick";
constexpr int kBehaviourSlot = 0;
constexpr INT_PTR kBackgroundBrush = 5;  // COLOR_WINDOW + 1

BannerBehaviour* behaviourOf(HWND hwnd) {
  return reinterpret_cast<BannerBehaviour*>(::GetWindowLongPtrW(hwnd, kBehaviourSlot));
}

Point clientPoint(HWND hwnd, LPARAM screen) {
  POINT point = {GET_X_LPARAM(screen), GET_Y_LPARAM(screen)};
  ::ScreenToClient(hwnd, &point);
  return {point.x, point.y};
}

}  // namespace

bool registerBannerClass() {
  BannerCursors& cursors = bannerCursors();
  cursors.arrow = ::LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  cursors.hand = ::LoadCursorA(nullptr, MAKEINTRESOURCEA(32649));   // IDC_HAND
  WNDCLASSEXW cls = {};
  cls.cbSize = sizeof cls;
  cls.style = 0;
  cls.lpfnWndProc = bannerWindowProc;
  cls.cbWndExtra = sizeof(LONG_PTR);  // slot 0: the banner's behaviour
  cls.hInstance = moduleInstance();
  cls.hIcon = ::LoadIconW(moduleInstance(), MAKEINTRESOURCEW(IDI_TARNWICK));
  cls.hCursor = nullptr;  // the window procedure sets the cursor
  cls.hbrBackground = reinterpret_cast<HBRUSH>(kBackgroundBrush);
  cls.lpszClassName = kBannerClassName;
  return ::RegisterClassExW(&cls) != 0;
}

BannerBehaviour::BannerBehaviour(BannerWindow& banner, const BannerSettings& settings,
                                 EjectPlatform& ejector)
    : banner_(banner),
      platform_(banner),
      notices_(banner.hwnd, banner.smallIcon.get()),
      effects_({platform_, notices_, explorer_, ejector, banner.device, banner.notices,
                banner.finder.get()},
               settings),
      machine_(effects_, settings, banner.device.driveLetter,
               {banner.imageSize.cx, banner.imageSize.cy}) {}

BannerBehaviour::~BannerBehaviour() {
  // The window goes first, while the machine that handles its destruction exists.
  if (banner_.hwnd != nullptr) ::DestroyWindow(banner_.hwnd);
  banner_.hwnd = nullptr;
}

bool BannerBehaviour::createWindow() {
  if (!banner_.imageBitmap || banner_.pixels == nullptr || !banner_.highlightRamp ||
      !banner_.bodyRamp || !banner_.finder) {
    return false;
  }
  // The placement runs inside this call, in the window's creation message.
  HWND hwnd = ::CreateWindowExW(kBannerExStyle, kBannerClassName, kBannerTitle, WS_POPUP, 0, 0, 0,
                                0, nullptr, nullptr, moduleInstance(), this);
  if (hwnd == nullptr) {
    banner_.hwnd = nullptr;
    return false;
  }
  banner_.hwnd = hwnd;
  machine_.onWindowCreated();
  banner_.windowCreated = 1;
  return true;
}

LRESULT CALLBACK bannerWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CREATE) {
    auto* behaviour =
        static_cast<BannerBehaviour*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    ::SetWindowLongPtrW(hwnd, kBehaviourSlot, reinterpret_cast<LONG_PTR>(behaviour));
    // The placement draws on the window before its creation has returned.
    behaviour->banner().hwnd = hwnd;
    return behaviour->machine().onCreate();
  }
  BannerBehaviour* behaviour = behaviourOf(hwnd);
  if (behaviour == nullptr) return ::DefWindowProcW(hwnd, message, wParam, lParam);
  BannerMachine& machine = behaviour->machine();
  switch (message) {
    case WM_TIMER: return machine.onTimer(wParam);
    case WM_BANNER_EJECT: return machine.onEject();
    case WM_LBUTTONDOWN:
      return machine.onLeftButtonDown({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
    case WM_KEYDOWN: return machine.onKeyDown(static_cast<uint32_t>(wParam));
    case WM_DEVICECHANGE: return machine.onDeviceChange(wParam);
    case WM_BANNER_SAFE_NOTICE: return machine.onSafeNotice(static_cast<uint32_t>(lParam));
    case WM_BANNER_BLOCKER_NOTICE: return machine.onBlockerNotice(static_cast<uint32_t>(lParam));
    case WM_BANNER_QUERY_DRIVE: return machine.onQueryDrive(wParam);
    case WM_QUERYENDSESSION: return machine.onQueryEndSession();
    case WM_BANNER_SHUTDOWN_WARNING: return machine.onShutdownWarning();
    case WM_NCHITTEST: return machine.onHitTest(clientPoint(hwnd, lParam));
    case WM_SETCURSOR: return machine.onSetCursor(LOWORD(lParam));
    case WM_MOVING: {
      RECT* dragged = reinterpret_cast<RECT*>(lParam);
      Rect rect = {dragged->left, dragged->top, dragged->right, dragged->bottom};
      const LRESULT result = machine.onMoving(rect);
      *dragged = {rect.left, rect.top, rect.right, rect.bottom};
      return result;
    }
    case WM_MOVE: return machine.onMove(GET_Y_LPARAM(lParam));
    case WM_DESTROY: return machine.onDestroy();
    case WM_NCDESTROY:
      ::SetWindowLongPtrW(hwnd, kBehaviourSlot, 0);
      return ::DefWindowProcW(hwnd, message, wParam, lParam);
    default: return ::DefWindowProcW(hwnd, message, wParam, lParam);
  }
}

void runMessageLoop() {
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
}

}  // namespace tarnwick
