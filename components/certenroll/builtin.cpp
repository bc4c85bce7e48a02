#include "components/certenroll/builtin.h"

#include "components/certenroll/module.h"
#include "components/common/portable/builtin_module.h"

namespace pw::certenroll {
namespace {

constexpr char kServer[] = "C:\\Windows\\System32\\certenroll.dll";

}  // namespace

std::span<const com::Export> exports() { return com::BuiltinModule<classes, kServer>::exports(); }

std::vector<com::RegistryEntry> registration() { return com::registrationOf(classes(), kServer); }

}  // namespace pw::certenroll
