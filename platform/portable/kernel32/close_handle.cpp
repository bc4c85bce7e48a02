// CloseHandle: the kernel objects (files, processes, threads) leave the handle table;
// any other handle is refused, as Windows refuses a registry key or a crypt handle.
#include <windows.h>

#include "machine/handles.h"

BOOL WINAPI CloseHandle(HANDLE h) {
  pw::handles::Object* object = pw::handles::lookup(pw::handles::valueOf(h));
  if (!object || !pw::handles::isKernelObject(object->kind)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  pw::handles::destroyObject(h);
  return TRUE;
}
