// No exception leaves an exported function: the library builds strings and
// containers inside them, and when an allocation fails the caller gets the error
// Windows gives when it runs out of memory, never an exception it cannot expect.
//
// The idiom, the whole body of an exported function inside the guard:
//
//   LSTATUS WINAPI RegSetValueExA(...) {
//     if (auto fault = injected(Point::RegSetValueExA)) return *fault;  // machine/faults.h
//     return pw::guarded(LSTATUS(ERROR_NOT_ENOUGH_MEMORY), [&]() -> LSTATUS { ... });
//   }
//   BOOL WINAPI CryptHashData(...) {
//     return pw::guarded(FALSE, NTE_NO_MEMORY, [&]() -> BOOL { ... });  // sets the last error
//   }
//
// What Windows answers when memory runs out: the registry ERROR_NOT_ENOUGH_MEMORY,
// kernel32 the same as its last error, CryptoAPI NTE_NO_MEMORY as its last error,
// OLE Automation E_OUTOFMEMORY (or a null pointer where it answers one).
#pragma once

#include <windows.h>

#include <cstring>

namespace pw {

// Sets the last error and answers FALSE, as a failing BOOL function does.
inline BOOL fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

// The size protocol of the BOOL calls that fill a caller's buffer: a null buffer asks
// for the size, a short one gets ERROR_MORE_DATA and the size needed.
inline BOOL copyOut(void* out, DWORD* outLen, const void* value, DWORD size) {
  if (out) {
    if (*outLen < size) {
      *outLen = size;
      return fail(ERROR_MORE_DATA);
    }
    std::memcpy(out, value, size);
  }
  *outLen = size;
  return TRUE;
}

// The body's answer, or `onFailure` when it raises.
template <class Result, class Body>
Result guarded(Result onFailure, Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return onFailure;
  }
}

// The same for functions that report through the last error: it is set to
// `lastError` when the body raises.
template <class Result, class Body>
Result guarded(Result onFailure, DWORD lastError, Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    SetLastError(lastError);
    return onFailure;
  }
}

}  // namespace pw
