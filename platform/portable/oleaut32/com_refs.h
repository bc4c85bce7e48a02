// Reference counting of the COM objects that variants and arrays hold, through the
// first three slots of every interface's table (QueryInterface, AddRef, Release), so
// that oleaut32 needs no interface definitions of its own.
#pragma once

#include <windows.h>

#include <oaidl.h>

namespace pw::oleaut {

inline ULONG callSlot(IUnknown* object, int slot) {
  using Method = ULONG(STDMETHODCALLTYPE*)(IUnknown*);
  void** table = *reinterpret_cast<void***>(object);
  return reinterpret_cast<Method>(table[slot])(object);
}

inline void addRef(IUnknown* object) {
  if (object) callSlot(object, 1);
}

inline void release(IUnknown* object) {
  if (object) callSlot(object, 2);
}

}  // namespace pw::oleaut
