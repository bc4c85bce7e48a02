// Kernel objects behind HANDLE values: every object the portable kernel32 hands
// out derives from KernelObject and is checked against the live set before use.
#pragma once

#include <windows.h>

namespace pw::kernel {

struct KernelObject {
  virtual ~KernelObject() = default;
};

struct FileObject : KernelObject {
  int fd = -1;
  bool owned = true;  // the standard handles are not closed with the object
  ~FileObject() override;
};

HANDLE registerObject(KernelObject* object);
// The live object behind a handle, of the wanted kind, or null.
template <class T>
T* objectFor(HANDLE h);
KernelObject* lookup(HANDLE h);
bool release(HANDLE h);

template <class T>
T* objectFor(HANDLE h) {
  return dynamic_cast<T*>(lookup(h));
}

}  // namespace pw::kernel
