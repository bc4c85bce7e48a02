// `pwmachine reg`: the registry with reg.exe's operations, switches, output and
// exit codes (0 success, 1 failure), so that a script or a test can inspect a
// machine with either tool. pwmachine never asks for confirmation: where reg.exe
// would ask (an existing value without /f, a deletion without /f, an existing
// file without /y) it refuses, says why, and fails.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace pwm::reg {

// The arguments of one operation: the leading positional ones (key, file) and
// the switches after them, by lower-case name ("v", "ve", ...) with their
// argument ("" for a switch that takes none).
struct Args {
  std::vector<std::string> positional;
  std::map<std::string, std::string> switches;

  bool has(std::string_view name) const { return switches.count(std::string(name)) != 0; }
  const std::string* value(std::string_view name) const {
    auto it = switches.find(std::string(name));
    return it == switches.end() ? nullptr : &it->second;
  }
};

// The whole sub-command; argv[0] is "reg".
int runReg(int argc, char** argv);

int runQuery(const Args& args);
int runAdd(const Args& args);
int runDelete(const Args& args);
int runExport(const Args& args);
int runImport(const Args& args);

// ---- messages shared by the operations; the int ones return the exit code 1 ----

// "ERROR: Invalid syntax." (or the detail given), and where to find the usage.
int syntaxError(std::string_view operation, std::string_view detail = {});
int invalidKeyName(std::string_view operation);
// The message for a registry call's status.
int failure(LONG status);
int failure(std::string_view message);
void success();

}  // namespace pwm::reg
