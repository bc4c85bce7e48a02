// kernel32 handles closed with CloseHandle. CreateFileA answers INVALID_HANDLE_VALUE
// when it fails; the calls that make processes, threads and events answer null.
// Its traits have the form of every family header's (owned.h).
#pragma once

#include <windows.h>

#include "owned.h"

namespace win32 {

struct FileHandleTraits {
  using Type = HANDLE;
  static Type none() { return INVALID_HANDLE_VALUE; }
  static void close(Type handle) { CloseHandle(handle); }
};
using FileHandle = Owned<FileHandleTraits>;

struct HandleTraits {
  using Type = HANDLE;
  static Type none() { return nullptr; }
  static void close(Type handle) { CloseHandle(handle); }
};
using Handle = Owned<HandleTraits>;

}  // namespace win32
