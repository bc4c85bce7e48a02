#include "machine/modules.h"

#include "certenroll/module.h"
#include "xenroll/module.h"

namespace pw::machine {

std::span<const BuiltinModule> builtinModules() {
  static const BuiltinModule modules[] = {
      {"certenroll.dll", pw::certenroll::exports()},
      {"xenroll.dll", pw::xenroll::exports()},
  };
  return modules;
}

}  // namespace pw::machine
