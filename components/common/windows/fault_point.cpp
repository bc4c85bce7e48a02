// The Windows build has no fault points: nothing is ever armed.
#include "components/common/fault_point.h"

namespace pw::com {

HRESULT faultAt(const char*) { return S_OK; }

}  // namespace pw::com
