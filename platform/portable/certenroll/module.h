// certenroll.dll: the entry points the library exports.
#pragma once

#include "machine/modules.h"
#include "ole32/server.h"

namespace pw::certenroll {

inline constexpr char kFile[] = "certenroll.dll";

std::span<const machine::ModuleExport> exports();
// The classes the library serves (and a fresh machine has registered).
std::span<const ole32::ServedClass> classes();

}  // namespace pw::certenroll
