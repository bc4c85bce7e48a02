// The fault table: one slot for each platform function and each host call, counted
// only while something is armed.
#include "machine/faults.h"

#include <pwplatform.h>

#include <array>
#include <atomic>
#include <cstring>

namespace pw::faults {
namespace {

struct Armed {
  bool active = false;
  Fault fault{Point::Count};
  unsigned count = 0;  // calls that reached the point since it was armed
};

// No allocation here: operator new reads the table.
std::array<Armed, size_t(Point::Count)> g_points;
thread_local int g_unfaulted = 0;

struct HostArmed {
  std::atomic<bool> active{false};
  HostFault fault{host::Call::any};
  std::atomic<unsigned> count{0};
};
std::array<HostArmed, host::kCalls + 1> g_host;  // the last one is Call::any's
std::atomic<bool> g_hostArmed{false};
std::atomic<HostCallObserver> g_observer{nullptr};

// Whether this call of an armed point is one that fails; counts the call.
bool fires(Point point, Action action) {
  Armed& a = g_points[size_t(point)];
  if (!a.active || a.fault.action != action) return false;
  if (g_unfaulted && point != Point::Allocation) return false;
  unsigned n = a.count++;
  if (n < a.fault.skip) return false;
  return a.fault.times == 0 || n - a.fault.skip < a.fault.times;
}

// The same for a host call's slot: counts the call, and answers its number and the
// errno it fails with (0 for none).
struct Counted {
  unsigned nth = 0;
  int error = 0;
};
Counted count(HostArmed& a) {
  if (!a.active.load(std::memory_order_relaxed)) return {};
  unsigned n = a.count.fetch_add(1, std::memory_order_relaxed);
  bool fails = n >= a.fault.skip && (a.fault.times == 0 || n - a.fault.skip < a.fault.times);
  return {n + 1, fails ? a.fault.error : 0};
}

}  // namespace

bool allocationFails() { return fires(Point::Allocation, Action::Fail); }

void arm(const Fault& fault) { g_points[size_t(fault.point)] = Armed{true, fault, 0}; }

void arm(const HostFault& fault) {
  HostArmed& a = g_host[size_t(fault.call)];
  a.active = false;
  a.fault = fault;
  a.count = 0;
  a.active = true;
  g_hostArmed = true;
}

void disarm() {
  g_points.fill(Armed{});
  g_hostArmed = false;
  for (HostArmed& a : g_host) {
    a.active = false;
    a.count = 0;
  }
}

unsigned reached(Point point) { return g_points[size_t(point)].count; }

unsigned reached(host::Call call) { return g_host[size_t(call)].count; }

std::optional<DWORD> injected(Point point) {
  Armed& a = g_points[size_t(point)];
  if (a.active && a.fault.action == Action::Raise) {
    if (fires(point, Action::Raise)) throw Raised{point};
    return std::nullopt;
  }
  if (fires(point, Action::Fail)) return a.fault.error;
  return std::nullopt;
}

bool overstated(Point point) { return fires(point, Action::Overstate); }

int hostError(host::Call call) {
  if (!g_hostArmed.load(std::memory_order_relaxed)) return 0;
  // Both slots count the call, whichever of them fails it.
  Counted own = count(g_host[size_t(call)]);
  Counted any = count(g_host[size_t(host::Call::any)]);
  int error = own.error ? own.error : any.error;
  if (HostCallObserver observe = g_observer.load(std::memory_order_relaxed))
    observe(call, any.nth ? any.nth : own.nth, error);
  return error;
}

void observeHostCalls(HostCallObserver observer) { g_observer = observer; }

namespace {

// The points by name, for components that ask through PwFaultPointA.
constexpr const char* kPointNames[] = {
    "Allocation",
    "CreateFileA",
    "ReadFile",
    "WriteFile",
    "RegOpenKeyExA",
    "RegCreateKeyExA",
    "RegQueryValueExA",
    "RegSetValueExA",
    "RegEnumKeyExA",
    "RegDeleteKeyA",
    "CryptAcquireContextA",
    "CryptCreateHash",
    "CryptHashData",
    "CryptDeriveKey",
    "CryptDecrypt",
    "SafeArrayCreate",
    "SafeArrayCopy",
    "CreateProcessA",
    "WaitForSingleObject",
    "GetVolumeInformationA",
    "GetVersionExA",
    "SysAllocStringLen",
    "CertOpenStore",
    "CertNameToStrA",
    "CertGetCertificateContextProperty",
    "CertDeleteCertificateFromStore",
    "CoCreateInstance",
    "ICEnroll_put_MyStoreFlags",
    "IX509Enrollment_Initialize",
};
static_assert(std::size(kPointNames) == size_t(Point::Count), "a name for every point");

}  // namespace

Unfaulted::Unfaulted() { ++g_unfaulted; }
Unfaulted::~Unfaulted() { --g_unfaulted; }

}  // namespace pw::faults

namespace {

// Before the program's own start, so that its first host call is counted too.
[[gnu::constructor(101)]] void armAtStart() { pw::faults::armFromEnvironment(); }

}  // namespace

BOOL WINAPI PwFaultPointA(LPCSTR point, DWORD* error) {
  if (!point) return FALSE;
  for (size_t i = 0; i < std::size(pw::faults::kPointNames); ++i) {
    if (std::strcmp(point, pw::faults::kPointNames[i]) != 0) continue;
    try {
      auto fault = pw::faults::injected(pw::faults::Point(i));
      if (fault && error) *error = *fault;
      return fault ? TRUE : FALSE;
    } catch (const pw::faults::Raised&) {  // never across the call
      return FALSE;
    }
  }
  return FALSE;
}
