#include "advapi32/crypt_objects.h"

namespace pw::crypt {

BOOL handOut(std::unique_ptr<handles::Object> object, ULONG_PTR* out) {
  ULONG_PTR handle = handles::addObject(std::move(object));
  if (!handle) return fail(NTE_NO_MEMORY);
  *out = handle;
  return TRUE;
}

}  // namespace pw::crypt
