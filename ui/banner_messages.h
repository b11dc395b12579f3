// The banner window's private messages and timers.
#pragma once

#include <cstdint>

namespace tarnwick {

constexpr uint32_t WM_BANNER_EJECT = 0x8001;             // attempt the ejection now
constexpr uint32_t WM_BANNER_SAFE_NOTICE = 0x8002;       // callback of the success balloon's icon
constexpr uint32_t WM_BANNER_BLOCKER_NOTICE = 0x8003;    // callback of the blocker balloon's icon
constexpr uint32_t WM_BANNER_QUERY_DRIVE = 0x8004;       // does this banner serve drive wParam?
constexpr uint32_t WM_BANNER_SHUTDOWN_WARNING = 0x8005;  // show the shutdown warning box

constexpr uint32_t kBalloonTimeout = 0x404;    // notification event: the balloon timed out
constexpr uint32_t kBalloonUserClick = 0x405;  // notification event: the user clicked it

constexpr uintptr_t TIMER_START = 0;       // 10 ms: first attempt without confirmation
constexpr uintptr_t TIMER_FADE_OUT = 1;    // 30 ms: one fade step
constexpr uintptr_t TIMER_PULSE = 2;       // 60 ms: one pulse step; retries
constexpr uintptr_t TIMER_AUTO_CLOSE = 3;  // 60000 ms: close after success
constexpr uintptr_t TIMER_REMOVED = 4;     // 1000 ms: arm closing after the device was removed

}  // namespace tarnwick
