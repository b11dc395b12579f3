// Simulated shell windows collection for the Explorer release tests. Test
// code only: it is never part of Tarnwick.exe.
//
// Wine's own collection answers E_NOTIMPL to get_Count and Item, so a test
// registers this DLL as the in-process server of CLSID_ShellWindows in the
// test prefix (HKLM\Software\Classes\CLSID\{9BA05972-...}\InprocServer32)
// while it runs, and puts the registration back afterwards.
//
// Environment (read when the collection is created):
//   FAKESW_ITEMS  the items, separated by ';': [flags]ADDRESS[*HWND]
//                 HWND: a real top-level window, in decimal. get_HWND
//                 fails for an item without one. An item with a window
//                 leaves the collection once the window has gone, so the
//                 items after it move down one place.
//                 Flags, each followed by ':', before the address:
//                   !item  Item fails (E_FAIL) for this item
//                   !url   get_LocationURL fails
//                   !hang  Item blocks for ever for this item
//   FAKESW_COUNT  "fail": get_Count fails; "hang": get_Count blocks for ever
//   FAKESW_LOG    Windows path of the call log (UTF-8, one line per call,
//                 appended to)
//
// Log lines:
//   create
//   count <n> | count fail
//   item <variant type> <index> ok|none|fail|hang
//   url <address> | url fail
//   hwnd <address> <hwnd> | hwnd <address> fail
//   navigate <address> <target> <type> <type> <type> <type>  (the four variant types)
//   released  (the collection's last reference has gone)
// Every method not listed answers E_NOTIMPL.
#include <windows.h>
#include <exdisp.h>
#include <oleauto.h>

#include <string>
#include <vector>

#include "../tools/shared_log.h"

namespace {

// {9BA05972-F6A8-11CF-A442-00A0C90A8F39}
const CLSID kClsidShellWindows = {
    0x9BA05972, 0xF6A8, 0x11CF, {0xA4, 0x42, 0x00, 0xA0, 0xC9, 0x0A, 0x8F, 0x39}};

LONG objects = 0;  // alive, for DllCanUnloadNow

std::wstring environment(const wchar_t* name) {
  wchar_t buffer[32768];
  DWORD n = GetEnvironmentVariableW(name, buffer, 32768);
  return n > 0 && n < 32768 ? std::wstring(buffer, n) : std::wstring();
}

void log(const std::wstring& line) {
  std::wstring path = environment(L"FAKESW_LOG");
  if (path.empty()) return;
  std::wstring text = line + L"\n";
  int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr,
                                  0, nullptr, nullptr);
  std::string utf8(bytes, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &utf8[0], bytes,
                      nullptr, nullptr);
  testonly::appendSharedLine(path.c_str(), utf8.data(), utf8.size());
}

void hang() {
  for (;;) Sleep(INFINITE);
}

struct Item {
  std::wstring address;
  HWND window = nullptr;
  bool itemFails = false;
  bool urlFails = false;
  bool hangs = false;
};

std::vector<Item> parseItems(const std::wstring& text) {
  std::vector<Item> items;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(L';', start);
    if (end == std::wstring::npos) end = text.size();
    std::wstring described = text.substr(start, end - start);
    start = end + 1;
    if (described.empty()) continue;
    Item item;
    for (;;) {
      if (described.compare(0, 6, L"!item:") == 0) {
        item.itemFails = true;
        described.erase(0, 6);
      } else if (described.compare(0, 5, L"!url:") == 0) {
        item.urlFails = true;
        described.erase(0, 5);
      } else if (described.compare(0, 6, L"!hang:") == 0) {
        item.hangs = true;
        described.erase(0, 6);
      } else {
        break;
      }
    }
    size_t star = described.rfind(L'*');
    if (star != std::wstring::npos) {
      const UINT_PTR handle = _wcstoui64(described.c_str() + star + 1, nullptr, 10);
      item.window = reinterpret_cast<HWND>(handle);
      described.erase(star);
    }
    item.address = described;
    items.push_back(item);
  }
  return items;
}

#define NOT_IMPLEMENTED(name, params) \
  HRESULT STDMETHODCALLTYPE name params override { return E_NOTIMPL; }

// IUnknown and IDispatch of the two objects: a reference count that deletes
// the object (a `Derived`) at zero, the alive count for DllCanUnloadNow, the
// interfaces IUnknown, IDispatch and those `Derived::answers` names, and no
// type information.
template <typename Derived, typename Interface>
class Counted : public Interface {
 public:
  Counted() { InterlockedIncrement(&objects); }
  ~Counted() { InterlockedDecrement(&objects); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IDispatch || Derived::answers(iid)) {
      *out = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&references_); }
  ULONG STDMETHODCALLTYPE Release() override {
    LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete static_cast<Derived*>(this);
    return left;
  }
  NOT_IMPLEMENTED(GetTypeInfoCount, (UINT*))
  NOT_IMPLEMENTED(GetTypeInfo, (UINT, LCID, ITypeInfo**))
  NOT_IMPLEMENTED(GetIDsOfNames, (REFIID, LPOLESTR*, UINT, LCID, DISPID*))
  NOT_IMPLEMENTED(Invoke, (DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*))

 private:
  LONG references_ = 1;
};

class Browser final : public Counted<Browser, IWebBrowser2> {
 public:
  explicit Browser(const Item& item) : item_(item) {}

  static bool answers(REFIID iid) {
    return iid == IID_IWebBrowser || iid == IID_IWebBrowserApp || iid == IID_IWebBrowser2;
  }

  HRESULT STDMETHODCALLTYPE get_LocationURL(BSTR* address) override {
    if (item_.urlFails) {
      log(L"url fail");
      return E_FAIL;
    }
    log(L"url " + item_.address);
    *address = SysAllocString(item_.address.c_str());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_HWND(SHANDLE_PTR* window) override {
    if (item_.window == nullptr) {
      log(L"hwnd " + item_.address + L" fail");
      return E_FAIL;
    }
    log(L"hwnd " + item_.address + L" " +
        std::to_wstring(reinterpret_cast<UINT_PTR>(item_.window)));
    *window = reinterpret_cast<SHANDLE_PTR>(item_.window);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Navigate(BSTR target, VARIANT* flags, VARIANT* frame, VARIANT* postData,
                                     VARIANT* headers) override {
    std::wstring line = L"navigate " + item_.address + L" " + (target ? target : L"(null)");
    for (VARIANT* v : {flags, frame, postData, headers}) {
      line += L" " + (v ? std::to_wstring(v->vt) : std::wstring(L"null"));
    }
    log(line);
    return S_OK;
  }

  NOT_IMPLEMENTED(GoBack, ())
  NOT_IMPLEMENTED(GoForward, ())
  NOT_IMPLEMENTED(GoHome, ())
  NOT_IMPLEMENTED(GoSearch, ())
  NOT_IMPLEMENTED(Refresh, ())
  NOT_IMPLEMENTED(Refresh2, (VARIANT*))
  NOT_IMPLEMENTED(Stop, ())
  NOT_IMPLEMENTED(get_Application, (IDispatch**))
  NOT_IMPLEMENTED(get_Parent, (IDispatch**))
  NOT_IMPLEMENTED(get_Container, (IDispatch**))
  NOT_IMPLEMENTED(get_Document, (IDispatch**))
  NOT_IMPLEMENTED(get_TopLevelContainer, (VARIANT_BOOL*))
  NOT_IMPLEMENTED(get_Type, (BSTR*))
  NOT_IMPLEMENTED(get_Left, (LONG*))
  NOT_IMPLEMENTED(put_Left, (LONG))
  NOT_IMPLEMENTED(get_Top, (LONG*))
  NOT_IMPLEMENTED(put_Top, (LONG))
  NOT_IMPLEMENTED(get_Width, (LONG*))
  NOT_IMPLEMENTED(put_Width, (LONG))
  NOT_IMPLEMENTED(get_Height, (LONG*))
  NOT_IMPLEMENTED(put_Height, (LONG))
  NOT_IMPLEMENTED(get_LocationName, (BSTR*))
  NOT_IMPLEMENTED(get_Busy, (VARIANT_BOOL*))
  NOT_IMPLEMENTED(Quit, ())
  NOT_IMPLEMENTED(ClientToWindow, (int*, int*))
  NOT_IMPLEMENTED(PutProperty, (BSTR, VARIANT))
  NOT_IMPLEMENTED(GetProperty, (BSTR, VARIANT*))
  NOT_IMPLEMENTED(get_Name, (BSTR*))
  NOT_IMPLEMENTED(get_FullName, (BSTR*))
  NOT_IMPLEMENTED(get_Path, (BSTR*))
  NOT_IMPLEMENTED(get_Visible, (VARIANT_BOOL*))
  NOT_IMPLEMENTED(put_Visible, (VARIANT_BOOL))
  NOT_IMPLEMENTED(get_StatusBar, (VARIANT_BOOL*))
  NOT_IMPLEMENTED(put_StatusBar, (VARIANT_BOOL))
  NOT_IMPLEMENTED(get_StatusText, (BSTR*))
  NOT_IMPLEMENTED(put_StatusText, (BSTR))
  NOT_IMPLEMENTED(get_ToolBar, (int*))
  NOT_IMPLEMENTED(put_ToolBar, (int))
  NOT_IMPLEMENTED(get_MenuBar, (VARIANT_BOOL*))
  NOT_IMPLEMENTED(put_MenuBar, (VARIANT_BOOL))
  NOT_IMPLEMENTED(get_FullScreen, (VARIANT_BOOL*))
  NOT_IMPLEMENTED(put_FullScreen, (VARIANT_BOOL))
  NOT_IMPLEMENTED(Navigate2, (VARIANT*, VARIANT*, VARIANT*, VARIANT*, VARIANT*))
  NOT_IMPLEMENTED(QueryStatusWB, (OLECMDID, OLECMDF*))
  NOT_IMPLEMENTED(ExecWB, (OLECMDID, OLECMDEXECOPT, VARIANT*, VARIANT*))
  NOT_IMPLEMENTED(ShowBrowserBar, (VARIANT*, VARIANT*, VARIANT*))
  NOT_IMPLEMENTED(get_ReadyState, (READYSTATE*))
  NOT_IMPLEMENTED(get_Offline, (VARIANT_BOOL*))
  NOT_IMPLEMENTED(put_Offline, (VARIANT_BOOL))
  NOT_IMPLEMENTED(get_Silent, (VARIANT_BOOL*))
  NOT_IMPLEMENTED(put_Silent, (VARIANT_BOOL))
  NOT_IMPLEMENTED(get_RegisterAsBrowser, (VARIANT_BOOL*))
  NOT_IMPLEMENTED(put_RegisterAsBrowser, (VARIANT_BOOL))
  NOT_IMPLEMENTED(get_RegisterAsDropTarget, (VARIANT_BOOL*))
  NOT_IMPLEMENTED(put_RegisterAsDropTarget, (VARIANT_BOOL))
  NOT_IMPLEMENTED(get_TheaterMode, (VARIANT_BOOL*))
  NOT_IMPLEMENTED(put_TheaterMode, (VARIANT_BOOL))
  NOT_IMPLEMENTED(get_AddressBar, (VARIANT_BOOL*))
  NOT_IMPLEMENTED(put_AddressBar, (VARIANT_BOOL))
  NOT_IMPLEMENTED(get_Resizable, (VARIANT_BOOL*))
  NOT_IMPLEMENTED(put_Resizable, (VARIANT_BOOL))

 private:
  Item item_;
};

class Collection final : public Counted<Collection, IShellWindows> {
 public:
  Collection() : items_(parseItems(environment(L"FAKESW_ITEMS"))) { log(L"create"); }
  ~Collection() { log(L"released"); }

  static bool answers(REFIID iid) { return iid == IID_IShellWindows; }

  HRESULT STDMETHODCALLTYPE get_Count(LONG* count) override {
    std::wstring mode = environment(L"FAKESW_COUNT");
    if (mode == L"fail") {
      log(L"count fail");
      return E_FAIL;
    }
    if (mode == L"hang") {
      log(L"count hang");
      hang();
    }
    *count = static_cast<LONG>(listed().size());
    log(L"count " + std::to_wstring(*count));
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE Item(VARIANT index, IDispatch** out) override {
    *out = nullptr;
    std::wstring line = L"item " + std::to_wstring(index.vt) + L" ";
    if (index.vt != VT_I4) {
      log(line + L"? fail");
      return E_INVALIDARG;
    }
    line += std::to_wstring(index.lVal);
    std::vector<const ::Item*> list = listed();
    if (index.lVal < 0 || index.lVal >= static_cast<LONG>(list.size())) {
      log(line + L" none");
      return S_FALSE;
    }
    const ::Item& item = *list[index.lVal];
    if (item.hangs) {
      log(line + L" hang");
      hang();
    }
    if (item.itemFails) {
      log(line + L" fail");
      return E_FAIL;
    }
    log(line + L" ok");
    *out = new Browser(item);
    return S_OK;
  }

  NOT_IMPLEMENTED(_NewEnum, (IUnknown**))
  NOT_IMPLEMENTED(Register, (IDispatch*, LONG, int, LONG*))
  NOT_IMPLEMENTED(RegisterPending, (LONG, VARIANT*, VARIANT*, int, LONG*))
  NOT_IMPLEMENTED(Revoke, (LONG))
  NOT_IMPLEMENTED(OnNavigate, (LONG, VARIANT*))
  NOT_IMPLEMENTED(OnActivated, (LONG, VARIANT_BOOL))
  NOT_IMPLEMENTED(FindWindowSW, (VARIANT*, VARIANT*, int, LONG*, int, IDispatch**))
  NOT_IMPLEMENTED(OnCreated, (LONG, IUnknown*))
  NOT_IMPLEMENTED(ProcessAttachDetach, (VARIANT_BOOL))

 private:
  // The items still listed: those without a window, and those whose window exists.
  std::vector<const ::Item*> listed() const {
    std::vector<const ::Item*> out;
    for (const ::Item& item : items_) {
      if (item.window == nullptr || IsWindow(item.window)) out.push_back(&item);
    }
    return out;
  }

  std::vector<::Item> items_;
};

class Factory : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IClassFactory) {
      *out = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    *out = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    Collection* collection = new Collection();
    HRESULT result = collection->QueryInterface(iid, out);
    collection->Release();
    return result;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

Factory factory;

}  // namespace

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  *out = nullptr;
  if (clsid != kClsidShellWindows) return CLASS_E_CLASSNOTAVAILABLE;
  return factory.QueryInterface(iid, out);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return objects == 0 ? S_OK : S_FALSE; }
