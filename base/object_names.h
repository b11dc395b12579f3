// The names the program gives its shared kernel objects. The whole-program
// tests read them from this file (tests/wine/constants.py).
#pragma once

namespace tarnwick {

constexpr wchar_t kLauncherMutexName[] = L"TRWK56F7AC";  // serialises launchers
constexpr wchar_t kStartedEventName[] = L"TRWK760450";   // auto-reset: the worker has started
constexpr wchar_t kBannerMutexName[] = L"TRWK440630";    // serialises banner placement and ejections

}  // namespace tarnwick
