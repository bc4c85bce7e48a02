// Fault injection, as storage libraries test their error paths: a test arms a fault,
// and the next call (or the nth) of that platform function fails with the error the
// test chose, or raises, as a call that faults inside Windows raises a structured
// exception. "Allocation" fails operator new itself where the program links the
// failing one (the unit tests). Host calls (machine/host_calls.h) fail the same way
// with an errno: the nth write, or the nth host call of any kind.
//
// The table is part of every build and costs a test of one flag a call while nothing
// is armed. Only code in the process arms it: the unit tests, and in builds made for
// testing (PW_FAULT_INJECTION) the start-up reading of PW_HOST_FAULTS
// (machine/fault_environment.cpp). A release build reads no such variable, so no input
// of a release program reaches an injected failure.
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

#include "machine/host_calls.h"

#include <cerrno>
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

// A failing host call: after `skip` calls of the kind (of any kind for Call::any),
// `times` calls fail with errno `error` (0: every one after).
struct HostFault {
  host::Call call;
  int error = EIO;
  unsigned skip = 0;
  unsigned times = 1;
};

// What a raising call throws.
struct Raised {
  Point point;
};

// Arms a fault; it replaces any armed at the same point or call.
void arm(const Fault& fault);
void arm(const HostFault& fault);
// Disarms every fault, host calls' included.
void disarm();
// How often the point (the call, every host call for Call::any) was reached since it
// was armed, its failures included.
unsigned reached(Point point);
unsigned reached(host::Call call);

// The error the call must fail with now, if any; throws Raised for a raising fault.
std::optional<DWORD> injected(Point point);
// True when the call must overstate its output now.
bool overstated(Point point);
// True when this allocation must fail (the failing operator new asks).
bool allocationFails();
// The errno the host call must fail with now, or 0; the table's calls ask.
int hostError(host::Call call);
// Called with each host call while a host fault is armed: the call, its number among
// the calls counted (every host call's when Call::any is armed), and the errno it
// fails with, 0 when it goes through.
using HostCallObserver = void (*)(host::Call call, unsigned nth, int error);
void observeHostCalls(HostCallObserver observer);

// Inside its scope armed platform functions neither fire nor count: the machine's reads
// of its own settings are no calls of the code under test. Allocations and host calls
// still fail there, as memory running out or a failing disk fails those reads too.
class Unfaulted {
 public:
  Unfaulted();
  ~Unfaulted();
  Unfaulted(const Unfaulted&) = delete;
  Unfaulted& operator=(const Unfaulted&) = delete;
};

// Arms the host faults that PW_HOST_FAULTS names, in builds made for testing; nothing
// in any other build. Runs once, before the program's own start.
void armFromEnvironment();

}  // namespace pw::faults
