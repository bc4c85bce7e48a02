// Named fault points of the components: the portable machine's unit tests arm them in
// the platform's fault table to make a method fail as a component on Windows can; the
// Windows build has none.
#pragma once

#include <windows.h>

#include <winerror.h>

namespace pw::com {

// The failure armed at `point` ("Interface_method") for this call, or S_OK.
HRESULT faultAt(const char* point);

}  // namespace pw::com
