// Fault injection in unit tests: one armed fault or replaced host call for a scope, and
// runs of an operation with each of its allocations failing in turn.
#pragma once

#include "machine/faults.h"

namespace test {

using pw::faults::Action;
using pw::faults::Fault;
using pw::faults::HostFault;
using pw::faults::Point;
using pw::host::Call;

// Arms a fault for the lifetime of the object; every fault is disarmed at its end.
class ScopedFault {
 public:
  explicit ScopedFault(const Fault& fault) { pw::faults::arm(fault); }
  explicit ScopedFault(const HostFault& fault) { pw::faults::arm(fault); }
  ~ScopedFault() { pw::faults::disarm(); }
  ScopedFault(const ScopedFault&) = delete;
  ScopedFault& operator=(const ScopedFault&) = delete;
};

// Puts `f` in a host call's entry for the lifetime of the object.
template <Call C>
class ScopedCall {
 public:
  explicit ScopedCall(pw::host::Function<C> f) : was_(pw::host::replace<C>(f)) {}
  ~ScopedCall() { pw::host::replace<C>(was_); }
  ScopedCall(const ScopedCall&) = delete;
  ScopedCall& operator=(const ScopedCall&) = delete;

 private:
  pw::host::Function<C> was_;
};

// Runs `run` once with the first allocation failing, once with the second, and so on
// until a run makes no allocation fail. `check(n, outcome)` sees each run's outcome
// with no fault armed, so that it may allocate (and assert) freely. Answers the number
// of runs in which an allocation failed.
template <class Run, class Check>
unsigned eachAllocationFailing(Run run, Check check) {
  for (unsigned n = 0;; ++n) {
    pw::faults::arm({Point::Allocation, 0, n});
    auto outcome = run();
    bool failed = pw::faults::reached(Point::Allocation) > n;
    pw::faults::disarm();
    if (!failed) return n;
    check(n, outcome);
  }
}

}  // namespace test
