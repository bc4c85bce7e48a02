// The fault table of the unit tests' platform build (PW_FAULTS), and the operator
// new that consults it. Other builds compile nothing here.
#include "machine/faults.h"

#ifdef PW_FAULTS

#include <array>
#include <cstdlib>
#include <new>

namespace pw::faults {
namespace {

struct Armed {
  bool active = false;
  Fault fault{Point::Count};
  unsigned count = 0;  // calls that reached the point since it was armed
};

std::array<Armed, size_t(Point::Count)>& table() {
  static std::array<Armed, size_t(Point::Count)> armed;  // no allocation: operator new reads it
  return armed;
}

unsigned suspended = 0;  // live Unfaulted scopes

// Whether this call of an armed point is one that fails; counts the call.
bool fires(Point point, Action action) {
  if (suspended && point != Point::Allocation) return false;
  Armed& a = table()[size_t(point)];
  if (!a.active || a.fault.action != action) return false;
  unsigned n = a.count++;
  if (n < a.fault.skip) return false;
  return a.fault.times == 0 || n - a.fault.skip < a.fault.times;
}

}  // namespace

Unfaulted::Unfaulted() { ++suspended; }
Unfaulted::~Unfaulted() { --suspended; }

bool allocationFails() { return fires(Point::Allocation, Action::Fail); }

void arm(const Fault& fault) { table()[size_t(fault.point)] = Armed{true, fault, 0}; }

void disarm() { table().fill(Armed{}); }

unsigned reached(Point point) { return table()[size_t(point)].count; }

std::optional<DWORD> injected(Point point) {
  Armed& a = table()[size_t(point)];
  if (a.active && a.fault.action == Action::Raise) {
    if (fires(point, Action::Raise)) throw Raised{point};
    return std::nullopt;
  }
  if (fires(point, Action::Fail)) return a.fault.error;
  return std::nullopt;
}

bool overstated(Point point) { return fires(point, Action::Overstate); }

}  // namespace pw::faults

// Every allocation of the program goes through here, so that a test can make the
// next one fail wherever it happens. The aligned forms stay the library's own.
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

#endif  // PW_FAULTS
