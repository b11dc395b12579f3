// The worker's native queries on Windows.
#pragma once

#include "blocker/handle_queries.h"
#include "base/system_api_win32.h"

namespace tarnwick {

class WindowsHandleQueries : public HandleQueries {
 public:
  explicit WindowsHandleQueries(const SystemApi* api) : api_(api) {}

  uint32_t querySystemInformation(uint32_t infoClass, void* buffer, uint32_t size,
                                  uint32_t* returned) override;
  uint32_t queryObject(uintptr_t handle, uint32_t infoClass, void* buffer, uint32_t size,
                       uint32_t* returned) override;
  bool isPipe(uintptr_t handle) override;
  uint8_t* allocateBlock(uint32_t size) override;
  void releaseBlock(uint8_t* block, uint32_t size) override;
  uint32_t tickCount() override;

 private:
  const SystemApi* api_;  // null: every query fails
};

}  // namespace tarnwick
