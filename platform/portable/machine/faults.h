// Fault injection for unit tests, as storage libraries test their error paths: a
// test arms a fault, and the next call (or the nth) of that platform function fails
// with the error the test chose, or raises, as a call that faults inside Windows
// raises a structured exception. "Allocation" fails operator new itself.
//
// Compiled in only where PW_FAULTS is defined: the platform library built a second
// time for the unit tests. In every other build `injected` is a constant "no
// fault", so no input can ever reach an injected failure.
//
// The call-site idiom, first thing in an exported function, before its guard
// (machine/guard.h), so that a raised fault leaves the function as a fault would:
//
//   if (auto fault = pw::faults::injected(pw::faults::Point::RegSetValueExA)) return *fault;
//   if (auto fault = pw::faults::injected(Point::CryptHashData)) return fail(*fault);
//
// A new platform function that tests must be able to fail adds its Point.
#pragma once

#include <windows.h>

#include <optional>

namespace pw::faults {

enum class Point {
  Allocation,  // any operator new, the system's included
  CreateFileA,
  ReadFile,
  WriteFile,
  RegOpenKeyExA,
  RegCreateKeyExA,
  RegQueryValueExA,
  RegSetValueExA,
  RegEnumKeyExA,
  RegDeleteKeyA,
  CryptAcquireContextA,
  CryptCreateHash,
  CryptHashData,
  CryptDeriveKey,
  CryptDecrypt,
  SafeArrayCreate,
  SafeArrayCopy,
  CreateProcessA,
  WaitForSingleObject,
  GetVolumeInformationA,
  GetVersionExA,
  SysAllocStringLen,
  CertOpenStore,
  CertNameToStrA,
  CertGetCertificateContextProperty,
  CertDeleteCertificateFromStore,
  CoCreateInstance,
  // Methods of the enrolment objects, named interface_method.
  ICEnroll_put_MyStoreFlags,
  IX509Enrollment_Initialize,
  Count
};

enum class Action {
  Fail,       // the call fails with the fault's error
  Raise,      // the call raises Raised instead of returning (not for Allocation)
  Overstate,  // the call succeeds but reports more bytes than its buffer holds
};

struct Fault {
  Point point;
  DWORD error = 0;     // for Fail: the code (Win32 error, NTE_ or HRESULT) the call gives
  unsigned skip = 0;   // calls that pass before the first one that fails
  unsigned times = 1;  // calls that fail then; 0 for every one after
  Action action = Action::Fail;
};

// What a raising call throws.
struct Raised {
  Point point;
};

#ifdef PW_FAULTS

// The machine's own reads of its settings (drive mappings, the version it reports) go
// through the registry functions but are no calls of the program under test: while an
// Unfaulted lives, armed Win32 points neither fire nor count. Allocations still fail.
class Unfaulted {
 public:
  Unfaulted();
  ~Unfaulted();
  Unfaulted(const Unfaulted&) = delete;
  Unfaulted& operator=(const Unfaulted&) = delete;
};

// Arms a fault; it replaces any armed at the same point.
void arm(const Fault& fault);
// Disarms every fault.
void disarm();
// How often the point was reached since it was armed, its failures included.
unsigned reached(Point point);

// The error the call must fail with now, if any; throws Raised for a raising fault.
std::optional<DWORD> injected(Point point);
// True when the call must overstate its output now.
bool overstated(Point point);
// True when this allocation must fail (operator new asks).
bool allocationFails();

#else

struct Unfaulted {
  Unfaulted() {}
  ~Unfaulted() {}  // user-provided: a scope object, not an unused variable
  Unfaulted(const Unfaulted&) = delete;
  Unfaulted& operator=(const Unfaulted&) = delete;
};

constexpr std::optional<DWORD> injected(Point) noexcept { return std::nullopt; }
constexpr bool overstated(Point) noexcept { return false; }

#endif

}  // namespace pw::faults
