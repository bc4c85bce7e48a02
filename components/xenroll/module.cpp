#include "components/xenroll/module.h"

#include <xenroll.h>

#include "components/xenroll/cenroll.h"

namespace pw::xenroll {
namespace {

const com::ServedClass kClasses[] = {
    {&CLSID_CEnroll, "CEnroll Class", "CEnroll.CEnroll.1", createEnroll},
};

}  // namespace

std::span<const com::ServedClass> classes() { return kClasses; }

}  // namespace pw::xenroll
