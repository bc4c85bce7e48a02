// COM: an interface pointer released when its owner goes away, and the thread's stay
// in a single-threaded apartment for one command.
#pragma once

#include <windows.h>

#include <objbase.h>

#include "owned.h"

namespace win32 {

template <class Interface>
struct ComTraits {
  using Type = Interface*;
  static Type none() { return nullptr; }
  static void close(Type object) { object->Release(); }
};
template <class Interface>
using ComPtr = Owned<ComTraits<Interface>>;

// Where CoCreateInstance and QueryInterface store the next interface pointer.
template <class Interface>
void** voidOut(ComPtr<Interface>& owner) {
  return reinterpret_cast<void**>(owner.out());
}

// Enters the single-threaded apartment for the owner's lifetime. Leaving calls
// CoUninitialize when the entry succeeded, or always when asked to: callers whose
// design leaves COM whatever the entry answered say so.
class Apartment {
 public:
  enum Leave { IfEntered, Always };
  explicit Apartment(Leave leave)
      : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)), leave_(leave) {}
  ~Apartment() {
    if (leave_ == Always || SUCCEEDED(result_)) CoUninitialize();
  }
  Apartment(const Apartment&) = delete;
  Apartment& operator=(const Apartment&) = delete;

  HRESULT result() const { return result_; }

 private:
  HRESULT result_;
  Leave leave_;
};

}  // namespace win32
