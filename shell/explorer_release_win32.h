// The Explorer release's thread on Windows.
#pragma once

#include "shell/explorer_release.h"

namespace tarnwick {

class WindowsExplorerReleasePlatform final : public ExplorerReleasePlatform {
 public:
  bool runReleaseThread(Body body, uintptr_t argument, uint32_t limitMs) override;
};

}  // namespace tarnwick
