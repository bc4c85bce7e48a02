#include "prune.h"

#include "console.h"
#include "reg.h"
#include "reg_tree.h"
#include "text.h"

#include <string_view>

namespace pwm::prune {
namespace {

constexpr const char* kUsage =
    "PWMACHINE PRUNE KEY /f\n\n"
    "  Removes KEY with everything below it in one step, however deep the tree lies:\n"
    "  the repair of a hive written by hand, whose keys may lie deeper than the\n"
    "  registry's limit of 512 levels, where reg delete cannot reach them. On the\n"
    "  emulated machine keys owned by the system go too; hive roots stay.\n\n"
    "  KEY  HKLM\\... or HKCU\\..., as reg writes it\n"
    "  /f   needed: pwmachine never asks for confirmation\n";

int usageError(const std::string& message) {
  err("ERROR: " + message + "\nType \"pwmachine prune /?\" for usage.\n");
  return 1;
}

}  // namespace

int runPrune(int argc, char** argv) {
  if (argc == 2 && (std::string_view(argv[1]) == "/?" || std::string_view(argv[1]) == "-?")) {
    out(kUsage);
    return 0;
  }
  if (argc != 3 || !equalsNoCase(argv[2], "/f"))
    return usageError(argc == 2 ? "Pruning needs /f: pwmachine never asks for confirmation."
                                : "Invalid syntax.");
  reg::KeyPath path;
  if (!reg::parseKeyPath(argv[1], &path)) return usageError("Invalid key name.");
  if (path.sub.empty()) return reg::failure("A root key cannot be deleted.");
  if (LONG st = removeTree(path.root, path.sub)) return reg::failure(st);
  reg::success();
  return 0;
}

}  // namespace pwm::prune
