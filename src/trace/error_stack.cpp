#include "trace/error_stack.h"

#include "trace/trace.h"

#include <cstdio>
#include <new>

ErrorStack* ErrorStack::instance() {
  static ErrorStack* stack = new (std::nothrow) ErrorStack;  // lives until the process ends
  return stack;
}

void ErrorStack::push(LONG code) {
  if (count_ < kCapacity) codes_[count_++] = code;
}

void SetError(LONG* error, LONG code) {
  if (error) *error = code;
  if (ErrorStack* stack = ErrorStack::instance()) stack->push(code);
  char line[48];
  std::snprintf(line, sizeof line, "*** SetError:[%d] ***", int(code));
  writeCryptoTrace(line, TRACE_PLAIN);
}
