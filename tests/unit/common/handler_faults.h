// One run of a command handler with one fault armed: what it answered, the code it
// stored and the trace lines it wrote.
#pragma once

#include "faults.h"
#include "handlers/storage_manager.h"
#include "trace.h"

#include <string>
#include <vector>

namespace test {

struct HandlerOutcome {
  bool ok = false;
  LONG error = 0;
  std::vector<std::string> lines;
};

// `handler(manager, &error)` runs on a fresh handler object; the lines written before
// it are skipped.
template <class Handler>
HandlerOutcome runWithFault(const Fault& fault, Handler handler) {
  newTraceTexts();
  Storage_Manager_No_console manager;
  HandlerOutcome out;
  {
    ScopedFault armed(fault);
    out.ok = handler(manager, &out.error);
  }
  out.lines = newTraceTexts();
  return out;
}

}  // namespace test
