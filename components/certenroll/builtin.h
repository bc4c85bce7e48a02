// The newer objects as the portable machine's built-in module certenroll.dll, which a
// fresh machine has registered, as a current Windows has.
#pragma once

#include "components/common/inproc_server.h"

#include <span>
#include <vector>

namespace pw::certenroll {

inline constexpr char kBuiltinFile[] = "certenroll.dll";

// The module's entry points by name.
std::span<const com::Export> exports();
// What the module's registration writes under HKEY_CLASSES_ROOT, for the machine's
// first boot.
std::vector<com::RegistryEntry> registration();

}  // namespace pw::certenroll
