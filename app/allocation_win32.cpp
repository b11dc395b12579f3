// The program's own allocation functions, on the process heap. They replace
// the C++ runtime's, which would bring its exception machinery into the
// executable for the sake of a failure the program handles itself: the
// no-throw forms return null, and the others end the process with
// E_OUTOFMEMORY, as the main function does when it cannot allocate.
#include <windows.h>

#include <cstddef>
#include <new>

namespace {

void* allocate(std::size_t size) { return ::HeapAlloc(::GetProcessHeap(), 0, size ? size : 1); }

void* allocateOrExit(std::size_t size) {
  void* p = allocate(size);
  if (p == nullptr) ::ExitProcess(static_cast<UINT>(E_OUTOFMEMORY));
  return p;
}

void release(void* p) {
  if (p != nullptr) ::HeapFree(::GetProcessHeap(), 0, p);
}

}  // namespace

void* operator new(std::size_t size) { return allocateOrExit(size); }
void* operator new[](std::size_t size) { return allocateOrExit(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { release(p); }
