// The program's UTF-16 text as the Windows calls take it.
#pragma once

namespace tarnwick {

// Windows text is UTF-16 in wchar_t; the program's own code uses char16_t.
static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows text is UTF-16");
inline const wchar_t* wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
inline wchar_t* wide(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }

}  // namespace tarnwick
