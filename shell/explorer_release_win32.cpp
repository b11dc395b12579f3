#include <windows.h>
#include <exdisp.h>
#include <oleauto.h>

#include <new>

#include "base/com_apartment_win32.h"
#include "base/owners_win32.h"
#include "base/timed_thread_win32.h"
#include "shell/explorer_release_win32.h"

namespace tarnwick {
namespace {

// {9BA05972-F6A8-11CF-A442-00A0C90A8F39}
const CLSID kClsidShellWindows = {
    0x9BA05972, 0xF6A8, 0x11CF, {0xA4, 0x42, 0x00, 0xA0, 0xC9, 0x0A, 0x8F, 0x39}};
// {85CB6900-4D95-11CF-960C-0080C7F4EE85}
const IID kIidShellWindows = {
    0x85CB6900, 0x4D95, 0x11CF, {0x96, 0x0C, 0x00, 0x80, 0xC7, 0xF4, 0xEE, 0x85}};
// {D30C1661-CDAF-11D0-8A3E-00C04FC9E26E}
const IID kIidWebBrowser2 = {
    0xD30C1661, 0xCDAF, 0x11D0, {0x8A, 0x3E, 0x00, 0xC0, 0x4F, 0xC9, 0xE2, 0x6E}};

// In-process server, in-process handler, local server, remote server.
constexpr DWORD kShellWindowsContext = 0x17;

class WindowsShellWindowsPlatform : public ShellWindowsPlatform {
 public:
  bool majorVersion(uint32_t& major) override {
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof version;
    static_assert(sizeof(OSVERSIONINFOW) == 276, "the version record of the system");
    if (!::GetVersionExW(&version)) return false;
    major = version.dwMajorVersion;
    return true;
  }

  bool openCollection() override {
    return SUCCEEDED(::CoCreateInstance(kClsidShellWindows, nullptr, kShellWindowsContext,
                                        kIidShellWindows, collection_.putVoid())) &&
           collection_;
  }

  bool count(int32_t& windows) override {
    LONG value = 0;
    if (FAILED(collection_->get_Count(&value))) return false;
    windows = value;
    return true;
  }

  bool openWindow(int32_t index) override {
    VARIANT at;
    ::VariantInit(&at);
    at.vt = VT_I4;
    at.lVal = index;
    ComPtr<IDispatch> item;
    const HRESULT found = collection_->Item(at, item.put());
    ::VariantClear(&at);
    // S_FALSE, with no item, past the end of the collection.
    if (found != S_OK || !item) return false;
    return SUCCEEDED(item->QueryInterface(kIidWebBrowser2, browser_.putVoid())) && browser_;
  }

  const char16_t* address() override {
    BSTR text = nullptr;
    if (FAILED(browser_->get_LocationURL(&text))) return nullptr;
    address_.reset(text);
    // An empty address may come as a null string.
    return address_ ? reinterpret_cast<const char16_t*>(address_.get()) : u"";
  }

  bool windowHandle(WindowId& window) override {
    SHANDLE_PTR handle = 0;
    if (FAILED(browser_->get_HWND(&handle))) return false;
    window = static_cast<WindowId>(handle);
    return true;
  }

  void navigate(const char16_t* target) override {
    if (!target_) target_.reset(::SysAllocString(reinterpret_cast<const OLECHAR*>(target)));
    VARIANT flags, frame, postData, headers;
    ::VariantInit(&flags);
    ::VariantInit(&frame);
    ::VariantInit(&postData);
    ::VariantInit(&headers);
    browser_->Navigate(target_.get(), &flags, &frame, &postData, &headers);
  }

  void closeWindow() override {
    address_.reset();
    browser_.reset();
  }

  void postClose(WindowId window) override {
    ::PostMessageA(reinterpret_cast<HWND>(window), WM_CLOSE, 0, 0);
  }

  bool windowExists(WindowId window) override {
    return ::IsWindow(reinterpret_cast<HWND>(window)) != FALSE;
  }

  void sleep(uint32_t milliseconds) override { ::Sleep(milliseconds); }

  void closeCollection() override { collection_.reset(); }

 private:
  ComPtr<IShellWindows> collection_;
  ComPtr<IWebBrowser2> browser_;
  UniqueBstr address_;
  UniqueBstr target_;
};

// What the release thread runs, in memory of its own: the thread takes a
// copy and frees it before it starts.
struct ReleaseRun {
  ExplorerReleasePlatform::Body body;
  uintptr_t argument;
};

DWORD WINAPI releaseProcedure(void* argument) {
  const ReleaseRun run = *static_cast<ReleaseRun*>(argument);
  delete static_cast<ReleaseRun*>(argument);
  ComApartment apartment;
  {
    WindowsShellWindowsPlatform platform;
    run.body(run.argument, platform);
  }
  return 0;
}

}  // namespace

bool WindowsExplorerReleasePlatform::runReleaseThread(Body body, uintptr_t argument,
                                                      uint32_t limitMs) {
  ReleaseRun* run = new (std::nothrow) ReleaseRun{body, argument};
  if (run == nullptr) return false;
  // After a failure the record is left alone: a thread that was terminated
  // may or may not have freed it (a few bytes, once per banner at most), and
  // one that could not be created never had it.
  return runTimedThread(&releaseProcedure, run, limitMs);
}

}  // namespace tarnwick
