// The operator new of the unit tests: every allocation of the program asks the fault
// table first, so that a test can make the next one fail wherever it happens. It is
// linked into the tests alone (pw_allocation_faults): a program's allocator is no
// host call, and replacing it in every program would take the sanitizers' own
// operator new, with its checks of mismatched deletes, from the programs' test runs.
// The aligned forms stay the library's own.
#include "machine/faults.h"

#include <cstdlib>
#include <new>

namespace {

void* allocate(std::size_t size) noexcept {
  if (pw::faults::allocationFails()) return nullptr;
  return std::malloc(size ? size : 1);
}

}  // namespace

void* operator new(std::size_t size) {
  if (void* p = allocate(size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
