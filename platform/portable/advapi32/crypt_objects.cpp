#include "advapi32/crypt_objects.h"

namespace pw::crypt {

BOOL handOut(std::unique_ptr<handles::Object> object, ULONG_PTR* out) {
  ULONG_PTR handle = handles::addObject(std::move(object));
  if (!handle) return fail(NTE_NO_MEMORY);
  *out = handle;
  return TRUE;
}

void destroyObjectsOf(HCRYPTPROV provider) {
  for (uintptr_t handle : handles::liveHandles()) {
    handles::Object* object = handles::lookup(handle);
    HCRYPTPROV owner =
        !object                                    ? 0
        : object->kind == handles::Kind::CryptHash ? static_cast<Hash*>(object)->provider
        : object->kind == handles::Kind::CryptKey  ? static_cast<Key*>(object)->provider
                                                   : 0;
    if (owner == provider) handles::destroyObject(handle);
  }
}

}  // namespace pw::crypt
