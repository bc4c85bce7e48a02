// The trace log: one shared text log that every operation writes its start, end
// and plain lines to, when the registry settings switch tracing on.
#pragma once

#include <windows.h>

enum TraceKind { TRACE_PLAIN = 0, TRACE_START = 1, TRACE_END = 2 };

// Start and end lines framed with '@' separator lines.
void writeTrace(const char* text, int kind);
// Start and end lines framed with '=' separator lines.
void writeCryptoTrace(const char* text, int kind);
// One plain line with the code of a failed platform call; `text` names the call.
void traceCryptoError(DWORD code, const char* text);
