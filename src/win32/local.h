// Blocks that the security functions hand out from LocalAlloc (descriptors, lists,
// SIDs and SID strings), freed with LocalFree, and folder searches closed with
// FindClose. Their traits have the form of every family header's (owned.h).
#pragma once

#include <windows.h>

#include "owned.h"

namespace win32 {

struct LocalMemoryTraits {
  using Type = void*;
  static Type none() { return nullptr; }
  static void close(Type block) { LocalFree(block); }
};
using LocalMemory = Owned<LocalMemoryTraits>;

struct FindHandleTraits {
  using Type = HANDLE;
  static Type none() { return INVALID_HANDLE_VALUE; }
  static void close(Type handle) { FindClose(handle); }
};
using FindHandle = Owned<FindHandleTraits>;

}  // namespace win32
