// The module instance handed to the main function: used for the module path,
// resources and the window class.
#pragma once

#include <windows.h>

namespace tarnwick {

inline HINSTANCE& moduleInstance() {
  static HINSTANCE instance = nullptr;
  return instance;
}

// Windows text is UTF-16 in wchar_t; the program's own code uses char16_t.
inline const wchar_t* wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
inline wchar_t* wide(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }

}  // namespace tarnwick
