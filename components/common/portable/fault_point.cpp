// The portable machine's fault points of the components: the platform's fault table,
// asked through its exported face (pwplatform.h), as a unit test armed it.
#include "components/common/fault_point.h"

#include <pwplatform.h>

namespace pw::com {

HRESULT faultAt(const char* point) {
  DWORD error = 0;
  return PwFaultPointA(point, &error) ? HRESULT(error) : S_OK;
}

}  // namespace pw::com
