// The banner's blocker search on Windows.
#pragma once

#include <memory>

#include "ui/notices.h"

namespace tarnwick {

// A new search for the banner's finder; null when it cannot be allocated.
std::unique_ptr<BlockerSearch> createBlockerSearch();

}  // namespace tarnwick
