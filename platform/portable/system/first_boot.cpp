// A fresh workstation has the classes a current Windows registers at setup: the newer
// enrolment objects (certenroll.dll), not the older control.
#include "machine/setup.h"

#include "components/certenroll/builtin.h"

namespace pw::machine {

std::vector<SetupValue> setupValues() {
  std::vector<SetupValue> values;
  for (pw::com::RegistryEntry& entry : pw::certenroll::registration())
    values.push_back({"SOFTWARE\\Classes\\" + entry.key, entry.name, std::move(entry.value)});
  return values;
}

}  // namespace pw::machine
