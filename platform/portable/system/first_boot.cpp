// A fresh workstation has the classes a current Windows registers at setup: the newer
// enrolment objects (certenroll.dll), not the older control.
#include "machine/setup.h"

#include "certenroll/module.h"
#include "ole32/server.h"

namespace pw::machine {

std::vector<SetupValue> setupValues() {
  std::vector<SetupValue> values;
  for (ole32::RegistryEntry& entry :
       ole32::registrationOf(certenroll::classes(), certenroll::kFile))
    values.push_back({"SOFTWARE\\Classes\\" + entry.key, entry.name, std::move(entry.value)});
  return values;
}

}  // namespace pw::machine
