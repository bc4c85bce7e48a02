// The base64 decoder of the protected value store. Standard alphabet with '='
// padding, but not RFC-strict: a text whose length is not a multiple of 4 decodes
// to nothing, and any character outside the alphabet ('=' included) counts as 0.
#pragma once

#include <windows.h>

// Called once with a null `out` to learn the decoded length and once more to
// decode into `out`, which must hold that many bytes. When the length is not a
// multiple of 4, *decodedLength is not written: callers preset it to 0.
void base64Decode(LONG length, const char* text, BYTE* out, LONG* decodedLength);
