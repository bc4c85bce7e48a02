// Windows keeps no key below its limit, so its own deletion of a tree serves.
#include "prune.h"

namespace pwm::prune {

LONG removeTree(HKEY root, const std::string& sub) { return RegDeleteTreeA(root, sub.c_str()); }

}  // namespace pwm::prune
