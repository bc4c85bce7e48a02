// The older enrolment control's library: the one class it serves, CEnroll.
#pragma once

#include "components/common/inproc_server.h"

#include <span>

namespace pw::xenroll {

std::span<const com::ServedClass> classes();

}  // namespace pw::xenroll
