#include "ui/blocker_search_win32.h"

#include <new>

namespace tarnwick {
namespace {

// The handle-table search is not part of this build yet: until it is, a
// refused ejection finds no blocker and the banner shows no blocker notice,
// as when a search fails.
class NoBlockerSearch final : public BlockerSearch {
 public:
  bool findBlocker(char16_t) override { return false; }
  BlockerResult lastResult() override { return BlockerResult(); }
};

}  // namespace

std::unique_ptr<BlockerSearch> createBlockerSearch() {
  return std::unique_ptr<BlockerSearch>(new (std::nothrow) NoBlockerSearch());
}

}  // namespace tarnwick
