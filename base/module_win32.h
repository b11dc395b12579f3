// The module instance handed to the main function: used for the module path,
// resources and the window class.
#pragma once

#include <windows.h>

namespace tarnwick {

inline HINSTANCE& moduleInstance() {
  static HINSTANCE instance = nullptr;
  return instance;
}

}  // namespace tarnwick
