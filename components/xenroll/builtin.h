// The older control as the portable machine's built-in module xenroll.dll.
#pragma once

#include "components/common/inproc_server.h"

#include <span>

namespace pw::xenroll {

inline constexpr char kBuiltinFile[] = "xenroll.dll";

// The module's entry points by name.
std::span<const com::Export> exports();

}  // namespace pw::xenroll
