// Builds made for testing (PW_FAULT_INJECTION) take host faults from the environment,
// so that an end-to-end test can fail the nth host call of a program it starts:
//
//   PW_HOST_FAULTS=any:37:ENOSPC      the 37th host call of any kind fails with ENOSPC
//   PW_HOST_FAULTS=pwrite:2:EIO:0     the second pwrite fails with EIO, and every one after
//   PW_HOST_FAULTS=any:0              nothing fails; the calls are counted and listed
//   PW_HOST_FAULTS_LOG=FILE           appends "fired CALL N ERROR" for each failed call,
//                                     "call CALL" for each listed one and, at exit,
//                                     "reached KIND COUNT" for each fault
//
// Faults are separated by commas; the error is a name from the list below or a number,
// EIO when left out. Both variables leave the environment once read, so that a program
// the run starts is not failed by them.
//
// pwexe runs with administrator rights and takes its environment from whoever starts
// it: a variable is an input of the program like its command line, and no input of a
// program that is shipped may make its calls fail on purpose. So the reading is
// compiled in only where the build is made for testing (the option is on with the
// tests, and off in anything packaged); elsewhere armFromEnvironment does nothing.
#include "machine/faults.h"

#ifdef PW_FAULT_INJECTION

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace pw::faults {
namespace {

struct ErrorName {
  const char* name;
  int error;
};
constexpr ErrorName kErrors[] = {
    {"EIO", EIO},       {"ENOSPC", ENOSPC}, {"EACCES", EACCES}, {"EINTR", EINTR},
    {"EPERM", EPERM},   {"EROFS", EROFS},   {"EDQUOT", EDQUOT}, {"ENOMEM", ENOMEM},
    {"EAGAIN", EAGAIN}, {"EBUSY", EBUSY},   {"ENOLCK", ENOLCK}, {"EMFILE", EMFILE},
};

const char* errorName(int error) {
  for (const auto& e : kErrors)
    if (e.error == error) return e.name;
  return "?";
}

bool parseError(const char* text, int* error) {
  for (const auto& e : kErrors) {
    if (std::strcmp(text, e.name) == 0) {
      *error = e.error;
      return true;
    }
  }
  char* end = nullptr;
  long n = std::strtol(text, &end, 10);
  if (!*text || *end || n <= 0) return false;
  *error = int(n);
  return true;
}

bool parseCount(const char* text, unsigned* n) {
  char* end = nullptr;
  unsigned long v = std::strtoul(text, &end, 10);
  if (!*text || *end) return false;
  *n = unsigned(v);
  return true;
}

int g_log = -1;
constexpr int kMaxFaults = 8;
host::Call g_armed[kMaxFaults];
int g_armedCount = 0;

void logLine(const char* line, int length) {
  if (g_log >= 0 && length > 0) (void)!::write(g_log, line, size_t(length));
}

bool g_list = false;  // a fault that only counts lists every call

void logCall(host::Call call, unsigned nth, int error) {
  char line[96];
  if (error)
    logLine(line, std::snprintf(line, sizeof line, "fired %s %u %s\n", host::name(call), nth,
                                errorName(error)));
  else if (g_list)
    logLine(line, std::snprintf(line, sizeof line, "call %s\n", host::name(call)));
}

void logReached() {
  for (int i = 0; i < g_armedCount; ++i) {
    char line[96];
    logLine(line, std::snprintf(line, sizeof line, "reached %s %u\n", host::name(g_armed[i]),
                                reached(g_armed[i])));
  }
}

// One "call:n[:error[:times]]"; n counts from 1, and 0 only counts.
bool armOne(char* text) {
  char* fields[4] = {};
  int count = 0;
  for (char* p = text; p && count < 4; ++count) {
    fields[count] = p;
    if ((p = std::strchr(p, ':'))) *p++ = '\0';
  }
  HostFault fault{host::Call::any};
  unsigned nth = 0;
  if (count < 2 || !host::callNamed(fields[0], &fault.call) || !parseCount(fields[1], &nth) ||
      (count > 2 && !parseError(fields[2], &fault.error)) ||
      (count > 3 && !parseCount(fields[3], &fault.times)))
    return false;
  fault.skip = nth ? nth - 1 : ~0u;
  g_list = g_list || nth == 0;
  arm(fault);
  if (g_armedCount < kMaxFaults) g_armed[g_armedCount++] = fault.call;
  return true;
}

}  // namespace

void armFromEnvironment() {
  const char* faults = std::getenv("PW_HOST_FAULTS");
  if (!faults || !*faults) return;
  if (const char* log = std::getenv("PW_HOST_FAULTS_LOG"); log && *log)
    g_log = ::open(log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  char text[512];
  std::snprintf(text, sizeof text, "%s", faults);
  ::unsetenv("PW_HOST_FAULTS");
  ::unsetenv("PW_HOST_FAULTS_LOG");
  char* rest = text;
  while (char* one = rest) {
    if ((rest = std::strchr(rest, ','))) *rest++ = '\0';
    if (!armOne(one)) {
      static const char bad[] = "bad PW_HOST_FAULTS entry\n";
      (void)!::write(2, bad, sizeof bad - 1);
      std::_Exit(125);
    }
  }
  observeHostCalls(logCall);
  std::atexit(logReached);
}

}  // namespace pw::faults

#else

void pw::faults::armFromEnvironment() {}

#endif  // PW_FAULT_INJECTION
