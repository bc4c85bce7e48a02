// OLE Automation objects: a SAFEARRAY destroyed with its data, a system string
// freed, and a VARIANT cleared (which releases whatever it holds) when its owner
// goes away.
// Its traits have the form of every family header's (owned.h).
#pragma once

#include <windows.h>

#include <oleauto.h>

#include "owned.h"

namespace win32 {

struct SafeArrayTraits {
  using Type = SAFEARRAY*;
  static Type none() { return nullptr; }
  static void close(Type array) { SafeArrayDestroy(array); }
};
using SafeArray = Owned<SafeArrayTraits>;

struct BstrTraits {
  using Type = BSTR;
  static Type none() { return nullptr; }
  static void close(Type text) { SysFreeString(text); }
};
using Bstr = Owned<BstrTraits>;

// A VARIANT is held by value, not by handle, so it has a class of its own with the
// same shape: empty (VT_EMPTY) is "none".
class Variant {
 public:
  Variant() { VariantInit(&variant_); }
  ~Variant() { VariantClear(&variant_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  Variant(Variant&& other) noexcept : variant_(other.release()) {}
  Variant& operator=(Variant&& other) noexcept {
    if (this != &other) {
      VariantClear(&variant_);
      variant_ = other.release();
    }
    return *this;
  }

  VARIANT* get() { return &variant_; }
  const VARIANT* get() const { return &variant_; }
  explicit operator bool() const { return variant_.vt != VT_EMPTY; }

  // Clears what is held and answers where a call may store the next value.
  VARIANT* out() {
    reset();
    return &variant_;
  }
  // Gives the value up without clearing it.
  VARIANT release() {
    VARIANT held = variant_;
    VariantInit(&variant_);
    return held;
  }
  void reset() { VariantClear(&variant_); }

 private:
  VARIANT variant_;
};

}  // namespace win32
