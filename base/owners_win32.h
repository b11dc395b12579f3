// Move-only owners for the system objects the program creates. Each owner
// releases exactly what it holds, once, and only when it holds something.
#pragma once

#include <windows.h>
#include <setupapi.h>
#include <unknwn.h>
#include <oleauto.h>

#include <utility>

namespace tarnwick {

// Generic owner: Traits gives the empty value, the emptiness test and the release call.
template <typename Traits>
class Owner {
 public:
  using Value = typename Traits::Value;
  Owner() = default;
  explicit Owner(Value value) : value_(value) {}
  Owner(const Owner&) = delete;
  Owner& operator=(const Owner&) = delete;
  Owner(Owner&& other) noexcept : value_(other.release()) {}
  Owner& operator=(Owner&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~Owner() { reset(); }

  Value get() const { return value_; }
  explicit operator bool() const { return !Traits::isEmpty(value_); }
  Value release() { return std::exchange(value_, Traits::empty()); }
  void reset(Value value = Traits::empty()) {
    Value old = std::exchange(value_, value);
    if (!Traits::isEmpty(old)) Traits::close(old);
  }

 private:
  Value value_ = Traits::empty();
};

// Kernel handles: both null and INVALID_HANDLE_VALUE mean "nothing".
struct KernelHandleTraits {
  using Value = HANDLE;
  static Value empty() { return nullptr; }
  static bool isEmpty(Value v) { return v == nullptr || v == INVALID_HANDLE_VALUE; }
  static void close(Value v) { ::CloseHandle(v); }
};
using UniqueHandle = Owner<KernelHandleTraits>;

struct DevInfoTraits {
  using Value = HDEVINFO;
  static Value empty() { return INVALID_HANDLE_VALUE; }
  static bool isEmpty(Value v) { return v == INVALID_HANDLE_VALUE || v == nullptr; }
  static void close(Value v) { ::SetupDiDestroyDeviceInfoList(v); }
};
using UniqueDevInfo = Owner<DevInfoTraits>;

struct RegKeyTraits {
  using Value = HKEY;
  static Value empty() { return nullptr; }
  static bool isEmpty(Value v) { return v == nullptr; }
  static void close(Value v) { ::RegCloseKey(v); }
};
using UniqueRegKey = Owner<RegKeyTraits>;

struct ModuleTraits {
  using Value = HMODULE;
  static Value empty() { return nullptr; }
  static bool isEmpty(Value v) { return v == nullptr; }
  static void close(Value v) { ::FreeLibrary(v); }
};
using UniqueModule = Owner<ModuleTraits>;

struct GdiObjectTraits {
  using Value = HGDIOBJ;
  static Value empty() { return nullptr; }
  static bool isEmpty(Value v) { return v == nullptr; }
  static void close(Value v) { ::DeleteObject(v); }
};
using UniqueGdiObject = Owner<GdiObjectTraits>;

struct IconTraits {
  using Value = HICON;
  static Value empty() { return nullptr; }
  static bool isEmpty(Value v) { return v == nullptr; }
  static void close(Value v) { ::DestroyIcon(v); }
};
using UniqueIcon = Owner<IconTraits>;

// Memory device contexts (CreateCompatibleDC); not for contexts from GetDC.
struct MemoryDCTraits {
  using Value = HDC;
  static Value empty() { return nullptr; }
  static bool isEmpty(Value v) { return v == nullptr; }
  static void close(Value v) { ::DeleteDC(v); }
};
using UniqueMemoryDC = Owner<MemoryDCTraits>;

// A GDI object selected into a device context for a scope: the object that
// was selected before is selected again when the owner goes out of scope.
class SelectedObject {
 public:
  SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(::SelectObject(dc, object)) {}
  ~SelectedObject() {
    if (previous_ != nullptr && previous_ != HGDI_ERROR) ::SelectObject(dc_, previous_);
  }
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// COM strings, freed with SysFreeString.
struct BstrTraits {
  using Value = BSTR;
  static Value empty() { return nullptr; }
  static bool isEmpty(Value v) { return v == nullptr; }
  static void close(Value v) { ::SysFreeString(v); }
};
using UniqueBstr = Owner<BstrTraits>;

// COM interface pointer: Release on reset, no AddRef on adoption.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) reset(std::exchange(other.p_, nullptr));
    return *this;
  }
  ~ComPtr() { reset(); }

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // Address for an out-parameter; releases what was held first.
  T** put() {
    reset();
    return &p_;
  }
  void** putVoid() { return reinterpret_cast<void**>(put()); }
  void reset(T* p = nullptr) {
    T* old = std::exchange(p_, p);
    if (old != nullptr) old->Release();
  }

 private:
  T* p_ = nullptr;
};

}  // namespace tarnwick
