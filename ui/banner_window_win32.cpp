#include "ui/banner_window_win32.h"

#include <new>

#include "base/module_win32.h"
#include "base/object_names.h"
#include "base/text_win32.h"
#include "base/system_api_win32.h"
#include "base/text.h"
#include "blocker/blocker_finder_win32.h"
#include "resources/resource_ids.h"
#include "ui/banner_layout.h"
#include "ui/catalogue.h"

namespace tarnwick {
namespace {

constexpr COLORREF kMarkerColour = RGB(0, kBackgroundGreen, 0);  // 0x004000
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr int kFontPoints = 10;
constexpr LONG kBoldWeight = FW_BOLD;

Extent extentOf(HDC dc, const wchar_t* text, int length) {
  SIZE size = {};
  ::GetTextExtentPoint32W(dc, text, length, &size);
  return {size.cx, size.cy};
}

RECT toRect(const Rect& r) { return {r.left, r.top, r.right, r.bottom}; }

}  // namespace

BannerWindow::BannerWindow(RemovableDevice& device_, const BannerSettings& settings)
    : device(device_) {
  placementMutex.reset(::CreateMutexW(nullptr, FALSE, kBannerMutexName));
  finder.reset(new (std::nothrow) WindowsBlockerFinder());
  askFirst = settings.askFirst;
  buttonsActive = settings.askFirst ? 1 : 0;
  notices.driveLetter = device.driveLetter;
  notices.deviceDescription = device.deviceDescription;
  notices.offerKill = settings.offerKill;
  notices.systemNotices = settings.systemNotices;

  imageDC.reset(::CreateCompatibleDC(nullptr));
  symbolDC.reset(::CreateCompatibleDC(nullptr));
  outlinePen.reset(::CreatePen(PS_SOLID, 1, kMarkerColour));
  buttonBrush.reset(::CreateSolidBrush(kWhite));
  backgroundBrush.reset(::CreateSolidBrush(kMarkerColour));

  LOGFONTW font = {};
  ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font);
  font.lfHeight = -::MulDiv(kFontPoints, ::GetDeviceCaps(imageDC.get(), LOGPIXELSY), 72);
  font.lfWeight = kBoldWeight;
  font.lfCharSet = ANSI_CHARSET;
  copyText(reinterpret_cast<char16_t*>(font.lfFaceName), LF_FACESIZE, u"Tahoma");
  textFont.reset(::CreateFontIndirectW(&font));

  ::SelectObject(imageDC.get(), outlinePen.get());
  ::SelectObject(imageDC.get(), backgroundBrush.get());
  ::SelectObject(imageDC.get(), textFont.get());
  ::SetBkMode(imageDC.get(), TRANSPARENT);

  bannerTextLength =
      static_cast<int32_t>(formatUnplugText(bannerText, device.driveLetter, device.friendlyName));
  const Extent extent = extentOf(imageDC.get(), wide(bannerText), bannerTextLength);
  textExtent = {extent.width, extent.height};

  imageSize = {bannerImageWidth(extent), kBannerHeight};
  backgroundRect = {0, 0, imageSize.cx, kBannerHeight};

  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = imageSize.cx;
  info.bmiHeader.biHeight = kBannerHeight;  // positive: bottom-up rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  imageBitmap.reset(::CreateDIBSection(imageDC.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (imageBitmap) {
    pixels = static_cast<uint8_t*>(bits);
    ::SelectObject(imageDC.get(), imageBitmap.get());
  }

  symbolBitmap.reset(::LoadImageW(moduleInstance(), MAKEINTRESOURCEW(IDB_NO_SIGN), IMAGE_BITMAP, 0,
                                  0, LR_CREATEDIBSECTION | LR_DEFAULTSIZE));
  if (symbolBitmap) ::SelectObject(symbolDC.get(), symbolBitmap.get());
  smallIcon.reset(static_cast<HICON>(::LoadImageW(moduleInstance(), MAKEINTRESOURCEW(IDI_TARNWICK),
                                                  IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR)));

  const int32_t width = imageSize.cx;
  if (width > 0) {
    highlightRamp.reset(new (std::nothrow) int32_t[width]);
    bodyRamp.reset(new (std::nothrow) int32_t[width]);
  }
  if (highlightRamp && bodyRamp) computeRamps(width, highlightRamp.get(), bodyRamp.get());

  notices.japanese = usesJapanese(::GetUserDefaultLangID());
}

BannerWindow::~BannerWindow() {
  // In this order: the window first (its destruction removes a blocker
  // balloon still shown), and each memory context before the objects
  // selected into it, which cannot be deleted while selected.
  if (hwnd != nullptr) ::DestroyWindow(hwnd);
  hwnd = nullptr;
  placementMutex.reset();
  imageDC.reset();
  symbolDC.reset();
  outlinePen.reset();
  buttonBrush.reset();
  backgroundBrush.reset();
  textFont.reset();
  imageBitmap.reset();
  pixels = nullptr;
  symbolBitmap.reset();
  smallIcon.reset();
  highlightRamp.reset();
  bodyRamp.reset();
  finder.reset();
}

BannerImage BannerWindow::image() const {
  BannerImage image;
  if (pixels == nullptr) return image;
  image.pixels = pixels;
  image.width = imageSize.cx;
  image.height = imageSize.cy;
  return image;
}

void BannerWindow::drawButtons() {
  HDC dc = imageDC.get();
  const Extent cancelText = extentOf(dc, L"Cancel", 6);
  const Extent okText = extentOf(dc, L"OK", 2);
  const ButtonLayout layout = layoutButtons(imageSize.cx, cancelText, okText, askFirst);
  okButtonRect = toRect(layout.ok);
  cancelButtonRect = toRect(layout.cancel);
  const int corner = layout.cornerSize;
  const SelectedObject faces(dc, buttonBrush.get());
  if (askFirst) {
    ::RoundRect(dc, okButtonRect.left, okButtonRect.top, okButtonRect.right, okButtonRect.bottom,
                corner, corner);
    ::RoundRect(dc, cancelButtonRect.left, cancelButtonRect.top, cancelButtonRect.right,
                cancelButtonRect.bottom, corner, corner);
    ::SetTextColor(dc, kBlack);
    ::TextOutW(dc, layout.okTextX, layout.textY, L"OK", 2);
  } else {
    ::RoundRect(dc, cancelButtonRect.left, cancelButtonRect.top, cancelButtonRect.right,
                cancelButtonRect.bottom, corner, corner);
    ::SetTextColor(dc, kBlack);
  }
  ::TextOutW(dc, layout.cancelTextX, layout.textY, L"Cancel", 6);
}

void BannerWindow::compose() {
  const BannerImage target = image();
  if (target.pixels == nullptr || !imageDC) return;
  HDC dc = imageDC.get();
  ::FillRect(dc, &backgroundRect, static_cast<HBRUSH>(backgroundBrush.get()));
  const int textTop = centredTop(textExtent.cy);
  ::SetTextColor(dc, kBlack);
  ::TextOutW(dc, kTextLeft, textTop + 1, wide(bannerText), bannerTextLength);
  ::SetTextColor(dc, kWhite);
  ::TextOutW(dc, kTextLeft, textTop, wide(bannerText), bannerTextLength);
  if (buttonsActive) drawButtons();
  // The system may still hold drawing calls in its batch: they must reach
  // the pixels before the pixels are read.
  ::GdiFlush();
  if (highlightRamp && bodyRamp) applyAlphaRows(target, highlightRamp.get(), bodyRamp.get());
  const AlphaBlendFn alphaBlend = systemApi().AlphaBlend;
  if (alphaBlend != nullptr && symbolBitmap) {
    const BLENDFUNCTION blend = {AC_SRC_OVER, 0, pulseAlpha, AC_SRC_ALPHA};
    alphaBlend(dc, kSymbolLeft, kSymbolTop, kSymbolSize, kSymbolSize, symbolDC.get(), 0, 0,
               kSymbolSize, kSymbolSize, blend);
    ::GdiFlush();
  }
}

bool BannerWindow::presentImage() {
  HDC screen = ::GetDC(nullptr);
  POINT source = {0, 0};
  SIZE size = imageSize;
  BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  const BOOL done = ::UpdateLayeredWindow(hwnd, screen, &position, &size, imageDC.get(), &source, 0,
                                          &blend, ULW_ALPHA);
  if (screen != nullptr) ::ReleaseDC(nullptr, screen);
  return done != FALSE;
}

bool BannerWindow::present() {
  compose();
  return presentImage();
}

bool BannerWindow::fadeStep() {
  int32_t x = position.x;
  const bool more = tarnwick::fadeStep(image(), slideStep, x);
  position.x = x;
  return more;
}

}  // namespace tarnwick
