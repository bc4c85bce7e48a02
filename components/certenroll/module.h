// The newer enrolment objects' library: the CertEnroll classes it serves.
#pragma once

#include "components/common/inproc_server.h"

#include <span>

namespace pw::certenroll {

std::span<const com::ServedClass> classes();

}  // namespace pw::certenroll
