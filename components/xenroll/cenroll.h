// CEnroll, the older enrolment control, with ICEnroll, ICEnroll2 and ICEnroll3.
#pragma once

#include <objbase.h>

namespace pw::xenroll {

HRESULT createEnroll(REFIID riid, void** ppv);

}  // namespace pw::xenroll
