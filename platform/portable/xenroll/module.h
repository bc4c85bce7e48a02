// xenroll.dll: the entry points the library exports.
#pragma once

#include "machine/modules.h"

namespace pw::xenroll {

std::span<const machine::ModuleExport> exports();

}  // namespace pw::xenroll
