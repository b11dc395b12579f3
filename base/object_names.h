// The names the program gives its shared kernel objects and its window class. The whole-program
// tests read them from this file (tests/wine/constants.py).
#pragma once

namespace tarnwick {

constexpr wchar_t kLauncherMutexName[] = L"TRWK56F7AC";  // serialises launchers
constexpr wchar_t kStartedEventName[] = L"TRWK760450";   // auto-reset: the worker has started
constexpr wchar_t kBannerMutexName[] = L"TRWK440630";  // serialises banner placement and ejections

// The window class by which the banners of every worker find each other.
constexpr wchar_t kBannerClassName[] = L"ShadeWin";

}  // namespace tarnwick
