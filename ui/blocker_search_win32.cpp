#include "ui/blocker_search_win32.h"

#include <new>

#include "blocker/blocker_finder_win32.h"

namespace tarnwick {
namespace {

// The banner's finder: the handle-table search of blocker detection, read
// back as the notices need its findings.
class FinderSearch final : public BlockerSearch {
 public:
  bool findBlocker(char16_t driveLetter) override { return finder_.findBlocker(driveLetter); }
  BlockerResult lastResult() override {
    BlockerResult result;
    result.holderPid = finder_.holderPid;
    result.holderImage = finder_.holderImage;
    result.openPath = finder_.openPath;
    result.runsFromDrive = finder_.runsFromDrive;
    return result;
  }

 private:
  BlockerFinder finder_;
};

}  // namespace

std::unique_ptr<BlockerSearch> createBlockerSearch() {
  return std::unique_ptr<BlockerSearch>(new (std::nothrow) FinderSearch());
}

}  // namespace tarnwick
