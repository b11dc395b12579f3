// The question a launcher asks every running banner: do you already serve
// this drive?
#pragma once

#include <cstdint>

#include "base/object_names.h"

namespace tarnwick {

// A banner busy with an ejection answers only when the request is over: it
// may first wait up to 360000 ms for the banner mutex. A banner that has not
// answered after 420000 ms in all is taken to be hung; the launcher, which
// holds the launcher mutex meanwhile, must never wait for ever.
constexpr uint32_t kBannerQueryLimitMs = 420000;

// Asks every top-level window of class "ShadeWin" (exact comparison) with
// WM_BANNER_QUERY_DRIVE whether it serves `driveLetter`; true at the first
// non-zero answer. Windows that do not answer within what is left of
// `limitMs` count as not serving the drive.
bool bannerServesDrive(char16_t driveLetter, uint32_t limitMs = kBannerQueryLimitMs);

}  // namespace tarnwick
