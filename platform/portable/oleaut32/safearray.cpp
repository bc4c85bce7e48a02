// Safe arrays, laid out as Windows lays them out: the descriptor is preceded by 16 bytes
// that hold an interface id or, in the 4 bytes right before it, the element VARTYPE;
// rgsabound lists the dimensions last to first, and the first index varies fastest in
// the data. A vector's data follows its descriptor in the same block and is marked with
// the flag Windows uses for it (0x2000). Elements that own something (BSTR, VARIANT,
// interfaces) are copied deeply and released when the array's data goes. Memory comes
// from malloc, so nothing here raises.
#include <windows.h>

#include <oleauto.h>

#include "machine/faults.h"
#include "oleaut32/com_refs.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t kPrefix = 16;
constexpr UINT kMaxDims = 65535;
constexpr USHORT kOwnerFlags = FADF_BSTR | FADF_UNKNOWN | FADF_DISPATCH | FADF_VARIANT;
constexpr USHORT kCreateVector = 0x2000;
constexpr USHORT kNotOwnedData = FADF_AUTO | FADF_STATIC | FADF_EMBEDDED | kCreateVector;
constexpr USHORT kNotCopied = kNotOwnedData | FADF_FIXEDSIZE;
constexpr ULONG kMaxLocks = 0xFFFF;

size_t descriptorSize(UINT dims) { return sizeof(SAFEARRAY) + (dims - 1) * sizeof(SAFEARRAYBOUND); }

void setVartype(SAFEARRAY* psa, VARTYPE vt) {
  DWORD v = vt;
  std::memcpy(reinterpret_cast<BYTE*>(psa) - sizeof v, &v, sizeof v);
}

VARTYPE storedVartype(SAFEARRAY* psa) {
  DWORD v;
  std::memcpy(&v, reinterpret_cast<BYTE*>(psa) - sizeof v, sizeof v);
  return VARTYPE(v);
}

// Size of one element of an array of vt, 0 for types that cannot be array elements.
ULONG elementSize(VARTYPE vt) {
  switch (vt) {
    case VT_I1:
    case VT_UI1:
      return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
      return 2;
    case VT_I4:
    case VT_UI4:
    case VT_R4:
    case VT_ERROR:
    case VT_INT:
    case VT_UINT:
      return 4;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
      return 8;
    case VT_INT_PTR:
    case VT_UINT_PTR:
    case VT_BSTR:
    case VT_UNKNOWN:
    case VT_DISPATCH:
      return sizeof(void*);
    case VT_DECIMAL:
      return sizeof(DECIMAL);
    case VT_VARIANT:
      return sizeof(VARIANT);
    default:
      return 0;
  }
}

USHORT ownerFlag(VARTYPE vt) {
  switch (vt) {
    case VT_BSTR:
      return FADF_BSTR;
    case VT_UNKNOWN:
      return FADF_UNKNOWN;
    case VT_DISPATCH:
      return FADF_DISPATCH;
    case VT_VARIANT:
      return FADF_VARIANT;
    default:
      return 0;
  }
}

// Number of elements, or -1 when it does not fit the address space.
long long cellCount(const SAFEARRAY* psa) {
  long long n = 1;
  for (USHORT d = 0; d < psa->cDims; ++d) {
    n *= psa->rgsabound[d].cElements;
    if (n > 0x7FFFFFFFLL) return -1;
  }
  return n;
}

// The cell that the indices (first dimension first) name, or -1 when one is out of range.
long long cellOffset(const SAFEARRAY* psa, const LONG* indices) {
  long long cell = 0, stride = 1;
  for (USHORT d = 0; d < psa->cDims; ++d) {
    const SAFEARRAYBOUND& b = psa->rgsabound[psa->cDims - 1 - d];
    long long i = (long long)indices[d] - b.lLbound;
    if (i < 0 || i >= (long long)b.cElements) return -1;
    cell += i * stride;
    stride *= b.cElements;
  }
  return cell;
}

BYTE* cellAt(SAFEARRAY* psa, long long cell) {
  return static_cast<BYTE*>(psa->pvData) + cell * psa->cbElements;
}

// Releases what the elements own and zeroes them.
void clearCells(SAFEARRAY* psa) {
  if (!psa->pvData) return;
  long long n = cellCount(psa);
  for (long long c = 0; c < n; ++c) {
    BYTE* cell = cellAt(psa, c);
    if (psa->fFeatures & FADF_BSTR) {
      BSTR s;
      std::memcpy(&s, cell, sizeof s);
      SysFreeString(s);
    } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
      IUnknown* u;
      std::memcpy(&u, cell, sizeof u);
      pw::oleaut::release(u);
    } else if (psa->fFeatures & FADF_VARIANT) {
      VariantClear(reinterpret_cast<VARIANT*>(cell));
    }
  }
  std::memset(psa->pvData, 0, size_t(n) * psa->cbElements);
}

// Copies the elements of src into the (cleared) data of dst, deeply.
HRESULT copyCells(SAFEARRAY* src, SAFEARRAY* dst) {
  long long n = cellCount(src);
  if (!(src->fFeatures & kOwnerFlags)) {
    std::memcpy(dst->pvData, src->pvData, size_t(n) * src->cbElements);
    return S_OK;
  }
  for (long long c = 0; c < n; ++c) {
    BYTE* from = cellAt(src, c);
    BYTE* to = cellAt(dst, c);
    if (src->fFeatures & FADF_BSTR) {
      BSTR s, copy = nullptr;
      std::memcpy(&s, from, sizeof s);
      if (s && !(copy = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(s), SysStringByteLen(s))))
        return E_OUTOFMEMORY;
      std::memcpy(to, &copy, sizeof copy);
    } else if (src->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
      IUnknown* u;
      std::memcpy(&u, from, sizeof u);
      pw::oleaut::addRef(u);
      std::memcpy(to, &u, sizeof u);
    } else {
      VariantInit(reinterpret_cast<VARIANT*>(to));
      if (HRESULT hr =
              VariantCopy(reinterpret_cast<VARIANT*>(to), reinterpret_cast<VARIANT*>(from));
          FAILED(hr))
        return hr;
    }
  }
  return S_OK;
}

bool sameShape(const SAFEARRAY* a, const SAFEARRAY* b) {
  if (a->cDims != b->cDims || a->cbElements != b->cbElements) return false;
  for (USHORT d = 0; d < a->cDims; ++d)
    if (a->rgsabound[d].cElements != b->rgsabound[d].cElements) return false;
  return true;
}

// The cell at the indices, or null when they lie outside the bounds.
BYTE* indexedCell(SAFEARRAY* psa, LONG* rgIndices) {
  long long cell = cellOffset(psa, rgIndices);
  return cell < 0 ? nullptr : cellAt(psa, cell);
}

}  // namespace

HRESULT WINAPI SafeArrayAllocDescriptor(UINT cDims, SAFEARRAY** ppsaOut) {
  if (!ppsaOut) return E_POINTER;
  *ppsaOut = nullptr;
  if (!cDims || cDims > kMaxDims) return E_INVALIDARG;
  auto* block = static_cast<BYTE*>(std::calloc(1, kPrefix + descriptorSize(cDims)));
  if (!block) return E_UNEXPECTED;
  auto* psa = reinterpret_cast<SAFEARRAY*>(block + kPrefix);
  psa->cDims = USHORT(cDims);
  *ppsaOut = psa;
  return S_OK;
}

HRESULT WINAPI SafeArrayAllocData(SAFEARRAY* psa) {
  if (!psa) return E_INVALIDARG;
  long long n = cellCount(psa);
  if (n < 0 || n * psa->cbElements > 0x7FFFFFFFLL) return E_OUTOFMEMORY;
  // calloc(0) may give null; keep a valid pointer for empty arrays too.
  void* data = std::calloc(1, size_t(n) * psa->cbElements + 1);
  if (!data) return E_OUTOFMEMORY;
  psa->pvData = data;
  return S_OK;
}

SAFEARRAY* WINAPI SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound) {
  if (pw::faults::injected(pw::faults::Point::SafeArrayCreate)) return nullptr;
  ULONG size = elementSize(vt);
  if (!size || !cDims || !rgsabound) return nullptr;
  SAFEARRAY* psa;
  if (FAILED(SafeArrayAllocDescriptor(cDims, &psa))) return nullptr;
  for (UINT d = 0; d < cDims; ++d) psa->rgsabound[cDims - 1 - d] = rgsabound[d];
  psa->cbElements = size;
  psa->fFeatures = USHORT(FADF_HAVEVARTYPE | ownerFlag(vt));
  setVartype(psa, vt);
  if (FAILED(SafeArrayAllocData(psa))) {
    SafeArrayDestroyDescriptor(psa);
    return nullptr;
  }
  return psa;
}

SAFEARRAY* WINAPI SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements) {
  ULONG size = elementSize(vt);
  if (!size || (unsigned long long)size * cElements > 0x7FFFFFFFULL) return nullptr;
  size_t head = kPrefix + descriptorSize(1);
  auto* block = static_cast<BYTE*>(std::calloc(1, head + size_t(size) * cElements));
  if (!block) return nullptr;
  auto* psa = reinterpret_cast<SAFEARRAY*>(block + kPrefix);
  psa->cDims = 1;
  psa->rgsabound[0] = SAFEARRAYBOUND{cElements, lLbound};
  psa->cbElements = size;
  psa->fFeatures = USHORT(FADF_HAVEVARTYPE | kCreateVector | ownerFlag(vt));
  psa->pvData = block + head;
  setVartype(psa, vt);
  return psa;
}

HRESULT WINAPI SafeArrayDestroyData(SAFEARRAY* psa) {
  if (!psa) return E_INVALIDARG;
  if (psa->cLocks) return DISP_E_ARRAYISLOCKED;
  clearCells(psa);
  if (!(psa->fFeatures & kNotOwnedData)) {
    std::free(psa->pvData);
    psa->pvData = nullptr;
  }
  return S_OK;
}

HRESULT WINAPI SafeArrayDestroyDescriptor(SAFEARRAY* psa) {
  if (!psa) return S_OK;
  if (psa->cLocks) return DISP_E_ARRAYISLOCKED;
  std::free(reinterpret_cast<BYTE*>(psa) - kPrefix);
  return S_OK;
}

HRESULT WINAPI SafeArrayDestroy(SAFEARRAY* psa) {
  if (!psa) return S_OK;
  if (psa->cLocks) return DISP_E_ARRAYISLOCKED;
  SafeArrayDestroyData(psa);
  return SafeArrayDestroyDescriptor(psa);
}

HRESULT WINAPI SafeArrayCopyData(SAFEARRAY* psaSource, SAFEARRAY* psaTarget) {
  if (!psaSource || !psaTarget || !sameShape(psaSource, psaTarget)) return E_INVALIDARG;
  if (!psaSource->pvData || !psaTarget->pvData) return E_INVALIDARG;
  clearCells(psaTarget);
  return copyCells(psaSource, psaTarget);
}

HRESULT WINAPI SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut) {
  if (auto fault = pw::faults::injected(pw::faults::Point::SafeArrayCopy)) return HRESULT(*fault);
  if (!ppsaOut) return E_INVALIDARG;
  *ppsaOut = nullptr;
  if (!psa) return S_OK;
  if (!psa->cbElements) return E_INVALIDARG;
  SAFEARRAY* copy;
  if (HRESULT hr = SafeArrayAllocDescriptor(psa->cDims, &copy); FAILED(hr)) return hr;
  // The descriptor with its prefix (interface id or VARTYPE); the copy owns its data.
  std::memcpy(reinterpret_cast<BYTE*>(copy) - kPrefix, reinterpret_cast<BYTE*>(psa) - kPrefix,
              kPrefix + descriptorSize(psa->cDims));
  copy->fFeatures &= USHORT(~kNotCopied);
  copy->cLocks = 0;
  copy->pvData = nullptr;
  if (!psa->pvData) {
    *ppsaOut = copy;
    return S_OK;
  }
  HRESULT hr = SafeArrayAllocData(copy);
  if (SUCCEEDED(hr)) hr = copyCells(psa, copy);
  if (FAILED(hr)) {
    SafeArrayDestroy(copy);
    return hr;
  }
  *ppsaOut = copy;
  return S_OK;
}

UINT WINAPI SafeArrayGetDim(SAFEARRAY* psa) { return psa ? psa->cDims : 0; }

UINT WINAPI SafeArrayGetElemsize(SAFEARRAY* psa) { return psa ? psa->cbElements : 0; }

HRESULT WINAPI SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound) {
  if (!psa || !plLbound) return E_INVALIDARG;
  if (!nDim || nDim > psa->cDims) return DISP_E_BADINDEX;
  *plLbound = psa->rgsabound[psa->cDims - nDim].lLbound;
  return S_OK;
}

HRESULT WINAPI SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound) {
  if (!psa || !plUbound) return E_INVALIDARG;
  if (!nDim || nDim > psa->cDims) return DISP_E_BADINDEX;
  const SAFEARRAYBOUND& b = psa->rgsabound[psa->cDims - nDim];
  *plUbound = LONG(b.lLbound + LONG(b.cElements) - 1);
  return S_OK;
}

HRESULT WINAPI SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt) {
  if (!psa || !pvt) return E_INVALIDARG;
  if (psa->fFeatures & FADF_RECORD)
    *pvt = VT_RECORD;
  else if ((psa->fFeatures & (FADF_HAVEIID | FADF_DISPATCH)) == (FADF_HAVEIID | FADF_DISPATCH))
    *pvt = VT_DISPATCH;
  else if (psa->fFeatures & FADF_HAVEIID)
    *pvt = VT_UNKNOWN;
  else if (psa->fFeatures & FADF_HAVEVARTYPE)
    *pvt = storedVartype(psa);
  else
    return E_INVALIDARG;
  return S_OK;
}

HRESULT WINAPI SafeArrayLock(SAFEARRAY* psa) {
  if (!psa) return E_INVALIDARG;
  if (psa->cLocks >= kMaxLocks) return E_UNEXPECTED;
  ++psa->cLocks;
  return S_OK;
}

HRESULT WINAPI SafeArrayUnlock(SAFEARRAY* psa) {
  if (!psa) return E_INVALIDARG;
  if (!psa->cLocks) return E_UNEXPECTED;
  --psa->cLocks;
  return S_OK;
}

HRESULT WINAPI SafeArrayAccessData(SAFEARRAY* psa, void** ppvData) {
  if (!psa || !ppvData) return E_INVALIDARG;
  if (HRESULT hr = SafeArrayLock(psa); FAILED(hr)) {
    *ppvData = nullptr;
    return hr;
  }
  *ppvData = psa->pvData;
  return S_OK;
}

HRESULT WINAPI SafeArrayUnaccessData(SAFEARRAY* psa) { return SafeArrayUnlock(psa); }

HRESULT WINAPI SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
  if (!psa || !rgIndices || !pv) return E_INVALIDARG;
  BYTE* from = indexedCell(psa, rgIndices);
  if (!from) return DISP_E_BADINDEX;
  HRESULT hr = S_OK;
  SafeArrayLock(psa);
  if (psa->fFeatures & FADF_VARIANT) {
    VariantInit(static_cast<VARIANT*>(pv));
    hr = VariantCopy(static_cast<VARIANT*>(pv), reinterpret_cast<VARIANT*>(from));
  } else if (psa->fFeatures & FADF_BSTR) {
    BSTR s, copy = nullptr;
    std::memcpy(&s, from, sizeof s);
    if (s && !(copy = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(s), SysStringByteLen(s))))
      hr = E_OUTOFMEMORY;
    else
      std::memcpy(pv, &copy, sizeof copy);
  } else {
    if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
      IUnknown* u;
      std::memcpy(&u, from, sizeof u);
      pw::oleaut::addRef(u);
    }
    std::memcpy(pv, from, psa->cbElements);
  }
  SafeArrayUnlock(psa);
  return hr;
}

// pv is the value itself for BSTR and interface arrays, else a pointer to the value.
HRESULT WINAPI SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
  if (!psa || !rgIndices) return E_INVALIDARG;
  bool byValue = psa->fFeatures & (FADF_BSTR | FADF_UNKNOWN | FADF_DISPATCH);
  if (!pv && !byValue) return E_INVALIDARG;
  BYTE* to = indexedCell(psa, rgIndices);
  if (!to) return DISP_E_BADINDEX;
  HRESULT hr = S_OK;
  SafeArrayLock(psa);
  if (psa->fFeatures & FADF_VARIANT) {
    hr = VariantCopy(reinterpret_cast<VARIANT*>(to), static_cast<VARIANT*>(pv));
  } else if (psa->fFeatures & FADF_BSTR) {
    auto s = static_cast<BSTR>(pv);
    BSTR copy = nullptr;
    if (s && !(copy = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(s), SysStringByteLen(s)))) {
      hr = E_OUTOFMEMORY;
    } else {
      BSTR old;
      std::memcpy(&old, to, sizeof old);
      SysFreeString(old);
      std::memcpy(to, &copy, sizeof copy);
    }
  } else if (byValue) {
    auto* u = static_cast<IUnknown*>(pv);
    IUnknown* old;
    std::memcpy(&old, to, sizeof old);
    pw::oleaut::addRef(u);
    pw::oleaut::release(old);
    std::memcpy(to, &u, sizeof u);
  } else {
    std::memcpy(to, pv, psa->cbElements);
  }
  SafeArrayUnlock(psa);
  return hr;
}
