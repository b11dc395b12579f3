// Scoped membership of the calling thread in a single-threaded COM apartment.
// The thread leaves the apartment when the owner goes out of scope, and only
// when it entered it (CoUninitialize must pair with a successful CoInitialize).
#pragma once

#include <objbase.h>

namespace tarnwick {

class ComApartment {
 public:
  ComApartment() : result_(::CoInitialize(nullptr)) {}
  ~ComApartment() {
    if (SUCCEEDED(result_)) ::CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

  // The result of entering: S_OK, S_FALSE (already in one) or the failure.
  HRESULT result() const { return result_; }

 private:
  HRESULT result_;
};

}  // namespace tarnwick
