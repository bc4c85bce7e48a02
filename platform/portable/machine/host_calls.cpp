// The host-call table and its calls. Each call asks the fault table first, then calls
// through its entry: the host's own function unless a test replaced it.
#include "machine/host_calls.h"

#include "machine/faults.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

// The C library's, which its header of this version declares without C linkage.
extern "C" int pidfd_open(pid_t pid, unsigned int flags) noexcept;

namespace pw::host {
namespace {

// The host's own functions, with the table's signatures (some of the host's take
// variable arguments).
namespace own {
#define PW_HOST_CALL_OWN(name, result, failure, params, args) \
  result name params { return ::name args; }
PW_HOST_CALLS(PW_HOST_CALL_OWN)
#undef PW_HOST_CALL_OWN
}  // namespace own

struct Entry {
  const char* name;
  void* host;
  std::atomic<void*> current;  // a test's replacement, or null
};

Entry g_table[kCalls] = {
#define PW_HOST_CALL_ENTRY(name, ...) {#name, reinterpret_cast<void*>(&own::name), {nullptr}},
    PW_HOST_CALLS(PW_HOST_CALL_ENTRY)
#undef PW_HOST_CALL_ENTRY
};

// The entry a call goes through now.
template <Call C>
Function<C> entry() {
  Entry& e = g_table[size_t(C)];
  void* f = e.current.load(std::memory_order_relaxed);
  return reinterpret_cast<Function<C>>(f ? f : e.host);
}

}  // namespace

const char* name(Call call) { return call == Call::any ? "any" : g_table[size_t(call)].name; }

bool callNamed(const char* text, Call* call) {
  for (size_t i = 0; i <= kCalls; ++i) {
    if (std::strcmp(text, name(Call(i))) == 0) {
      *call = Call(i);
      return true;
    }
  }
  return false;
}

void* replaceEntry(Call call, void* f) {
  Entry& e = g_table[size_t(call)];
  void* was = e.current.exchange(f);
  return was ? was : e.host;
}

void* hostEntry(Call call) { return g_table[size_t(call)].host; }

// Each call: the fault table's answer first, then the entry.
#define PW_HOST_CALL_DEFINE(name, result, failure, params, args) \
  result name params {                                           \
    if (int err = faults::hostError(Call::name)) {               \
      errno = err;                                               \
      return failure;                                            \
    }                                                            \
    return entry<Call::name>() args;                             \
  }
PW_HOST_CALLS(PW_HOST_CALL_DEFINE)
#undef PW_HOST_CALL_DEFINE

}  // namespace pw::host
