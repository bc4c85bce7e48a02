// The trace log: one shared text log that every operation writes its start, end
// and plain lines to, when the registry settings switch tracing on.
//
// Trace texts are part of the log format that clients and support read: every text
// keeps its exact spelling, casing and punctuation, odd ones included
// ("PWExe ...", "Storage_Manager_NoConsole::...", "_MSCryptoPwCryptoApiVB::...").
#pragma once

#include <windows.h>

enum TraceKind { TRACE_PLAIN = 0, TRACE_START = 1, TRACE_END = 2 };

// Start and end lines framed with '@' separator lines.
void writeTrace(const char* text, int kind);
// Start and end lines framed with '=' separator lines.
void writeCryptoTrace(const char* text, int kind);
// One plain line with the code of a failed platform call; `text` names the call.
void traceCryptoError(DWORD code, const char* text);

// Writes the end line of an operation that fails and answers false, so that a
// failure path reads `return traceFail("... - End false");`.
inline bool traceFail(const char* endLine) {
  writeTrace(endLine, TRACE_END);
  return false;
}
// The same with the '=' framing of the cipher and the proxies.
inline bool cryptoTraceFail(const char* endLine) {
  writeCryptoTrace(endLine, TRACE_END);
  return false;
}
