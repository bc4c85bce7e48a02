#include "crypto/byte_array.h"

#include <algorithm>
#include <stdexcept>

win32::SafeArray createByteArray(ULONG count) {
  SAFEARRAYBOUND bound{};
  bound.cElements = count;
  bound.lLbound = 0;
  return win32::SafeArray(SafeArrayCreate(VT_UI1, 1, &bound));
}

std::span<BYTE> byteArrayData(SAFEARRAY* array) {
  if (!array) throw std::invalid_argument("no byte array");
  ULONG count = array->rgsabound[0].cElements;
  if (count > 0 && !array->pvData) throw std::invalid_argument("byte array without data");
  return {static_cast<BYTE*>(array->pvData), count};
}

bool storeByteArray(std::span<const BYTE> bytes, VARIANT* out) {
  win32::SafeArray array = createByteArray(ULONG(bytes.size()));
  if (!array) return false;
  std::ranges::copy(bytes, byteArrayData(array.get()).begin());
  SAFEARRAY* copy = nullptr;
  if (FAILED(SafeArrayCopy(array.get(), &copy)) || !copy)
    throw std::runtime_error("byte array not copied");
  out->vt = VT_ARRAY | VT_UI1;
  out->parray = copy;
  return true;
}
