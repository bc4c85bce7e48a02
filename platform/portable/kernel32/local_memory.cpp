// LocalAlloc and LocalFree: the fixed blocks that the security functions hand out
// (SIDs, lists, descriptors, SID strings) and their callers free.
#include <windows.h>

#include <cstdlib>

HLOCAL WINAPI LocalAlloc(UINT flags, SIZE_T bytes) {
  void* p =
      (flags & LMEM_ZEROINIT) ? std::calloc(1, bytes ? bytes : 1) : std::malloc(bytes ? bytes : 1);
  if (!p) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return p;
}

HLOCAL WINAPI LocalFree(HLOCAL p) {
  std::free(p);
  return nullptr;
}
