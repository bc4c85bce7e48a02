// What the components' methods share: the interfaces' wide strings narrowed to and
// widened from the ANSI code page, the last error as an HRESULT, a method's work inside
// an exception guard, and out parameters.
#pragma once

#include <windows.h>

#include <oleauto.h>

#include <string>
#include <string_view>
#include <utility>

namespace pw::com {

// Text in the interfaces' wide characters.
using WideString = std::basic_string<WCHAR>;

// A wide string of the interfaces narrowed through the ANSI code page; a character the
// code page lacks becomes '?'.
std::string narrow(const WCHAR* text);
// A system string made from ANSI text, or null when memory runs out.
BSTR widen(std::string_view text);
// ANSI text widened through the ANSI code page.
WideString wide(std::string_view text);

// The failure of the last Win32 call as an HRESULT (E_FAIL when it left no code).
HRESULT lastError();

// The body's answer; memory that runs out (or any exception) answers E_OUTOFMEMORY,
// since no exception may leave a component.
template <class Body>
HRESULT guarded(Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

// Answers `hr`, leaving a failure as the thread's last error too, as the components'
// work over CryptoAPI leaves it.
inline HRESULT withLastError(HRESULT hr) {
  if (FAILED(hr)) SetLastError(DWORD(hr));
  return hr;
}

// A method's work that ends as the last error says too.
template <class Body>
HRESULT guardedWork(Body&& body) noexcept {
  return withLastError(guarded(std::forward<Body>(body)));
}

// A property's value given out through an interface's out parameter.
template <class T, class U>
HRESULT outValue(T value, U* out) {
  if (!out) return E_POINTER;
  *out = U(value);
  return S_OK;
}

}  // namespace pw::com
