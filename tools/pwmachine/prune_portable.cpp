// The emulated machine's own administration removes a tree in one transaction, at any
// depth (pwplatform.h).
#include "prune.h"

#include <pwplatform.h>

namespace pwm::prune {

LONG removeTree(HKEY root, const std::string& sub) { return PwDeleteSystemKeyA(root, sub.c_str()); }

}  // namespace pwm::prune
