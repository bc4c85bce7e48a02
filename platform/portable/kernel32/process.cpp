// Process-level odds and ends: standard handles, the process heap, sleeping.
#include <windows.h>

#include "kernel32/file_object.h"
#include "machine/guard.h"

#include <unistd.h>
#include <cstdlib>
#include <cstring>
#include <ctime>

HANDLE WINAPI GetStdHandle(DWORD which) {
  static HANDLE handles[3] = {};
  int fd = which == STD_INPUT_HANDLE    ? 0
           : which == STD_OUTPUT_HANDLE ? 1
           : which == STD_ERROR_HANDLE  ? 2
                                        : -1;
  if (fd < 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_HANDLE_VALUE;
  }
  if (!handles[fd]) {
    handles[fd] = pw::guarded(HANDLE(nullptr), [&] {
      auto f = std::make_unique<pw::kernel::FileObject>();
      f->fd = fd;
      f->owned = false;
      return pw::handles::addObject<HANDLE>(std::move(f));
    });
    if (!handles[fd]) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return INVALID_HANDLE_VALUE;
    }
  }
  return handles[fd];
}

DWORD WINAPI GetCurrentProcessId(void) { return DWORD(::getpid()); }

void WINAPI Sleep(DWORD ms) {
  timespec ts{time_t(ms / 1000), long(ms % 1000) * 1000000L};
  while (::nanosleep(&ts, &ts) != 0) {
  }
}

HANDLE WINAPI GetProcessHeap(void) {
  static int heap;
  return &heap;
}

// A failure is a null pointer and nothing else: HeapAlloc does not set the last error.
LPVOID WINAPI HeapAlloc(HANDLE, DWORD flags, SIZE_T bytes) {
  return (flags & HEAP_ZERO_MEMORY) ? std::calloc(1, bytes ? bytes : 1)
                                    : std::malloc(bytes ? bytes : 1);
}

BOOL WINAPI HeapFree(HANDLE, DWORD, LPVOID p) {
  std::free(p);
  return TRUE;
}

// The local heap is the process heap; only fixed memory is offered, as crypt32 asks for it.
HLOCAL WINAPI LocalAlloc(UINT flags, SIZE_T bytes) {
  return HeapAlloc(GetProcessHeap(), (flags & LMEM_ZEROINIT) ? HEAP_ZERO_MEMORY : 0, bytes);
}

HLOCAL WINAPI LocalFree(HLOCAL memory) {
  std::free(memory);
  return nullptr;
}
