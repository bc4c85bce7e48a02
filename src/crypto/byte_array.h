// Byte arrays as OLE Automation carries them: a one-dimensional SAFEARRAY of
// VT_UI1 with lower bound 0, in a VARIANT of type VT_ARRAY | VT_UI1.
#pragma once

#include <windows.h>

#include <oleauto.h>

#include "win32/oleaut.h"

#include <span>

// A new zero-filled array of `count` bytes; empty when it cannot be created.
win32::SafeArray createByteArray(ULONG count);

// The data of an array and the element count of its first dimension. Throws
// std::invalid_argument for a missing array.
std::span<BYTE> byteArrayData(SAFEARRAY* array);

// Sets `out` to VT_ARRAY | VT_UI1 holding a copy (SafeArrayCopy) of a new array
// filled with `bytes`; nothing else of `out` is touched. False, with `out`
// unwritten, when the new array cannot be created; throws when it cannot be copied.
bool storeByteArray(std::span<const BYTE> bytes, VARIANT* out);
