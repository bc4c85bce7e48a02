#include "crypto/byte_array.h"

#include "win32/abi.h"

#include <algorithm>
#include <cstddef>
#include <stdexcept>

// The byte arrays are read through the SAFEARRAY's own members and handed over in a
// VARIANT's array member, as OLE Automation lays them out on either width.
static_assert(sizeof(SAFEARRAYBOUND) == 8 && offsetof(SAFEARRAYBOUND, lLbound) == 4);
static_assert(offsetof(SAFEARRAY, cbElements) == 4);
static_assert(offsetof(SAFEARRAY, pvData) == win32::abiSize(12, 16));
static_assert(offsetof(SAFEARRAY, rgsabound) == win32::abiSize(16, 24));
static_assert(sizeof(VARTYPE) == 2 && (VT_ARRAY | VT_UI1) == 0x2011);
static_assert(sizeof(VARIANT) == win32::abiSize(16, 24));
static_assert(offsetof(VARIANT, parray) == 8);

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
