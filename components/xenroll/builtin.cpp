#include "components/xenroll/builtin.h"

#include "components/common/portable/builtin_module.h"
#include "components/xenroll/module.h"

namespace pw::xenroll {
namespace {

constexpr char kServer[] = "C:\\Windows\\System32\\xenroll.dll";

}  // namespace

std::span<const com::Export> exports() { return com::BuiltinModule<classes, kServer>::exports(); }

}  // namespace pw::xenroll
