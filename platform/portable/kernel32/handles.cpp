#include "kernel32/handles.h"

#include <unistd.h>
#include <unordered_set>

namespace pw::kernel {
namespace {
std::unordered_set<KernelObject*>& live() {
  static auto* set = new std::unordered_set<KernelObject*>;  // process-wide
  return *set;
}
}  // namespace

FileObject::~FileObject() {
  if (owned && fd >= 0) ::close(fd);
}

HANDLE registerObject(KernelObject* object) {
  live().insert(object);
  return object;
}

KernelObject* lookup(HANDLE h) {
  auto* object = static_cast<KernelObject*>(h);
  return live().count(object) ? object : nullptr;
}

bool release(HANDLE h) {
  auto* object = static_cast<KernelObject*>(h);
  if (!live().erase(object)) return false;
  delete object;
  return true;
}

}  // namespace pw::kernel

BOOL WINAPI CloseHandle(HANDLE h) {
  if (!pw::kernel::release(h)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}
