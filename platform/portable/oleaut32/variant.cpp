// Variants: initialise, clear (releasing what the variant owns) and copy deeply.
#include <windows.h>

#include <oleauto.h>

#include "oleaut32/com_refs.h"

namespace {

constexpr VARTYPE kExtraFlags = VT_VECTOR | VT_ARRAY | VT_BYREF | VT_RESERVED;

// The type tags a variant may carry: a base type below VT_VOID (but not the unused 15),
// VT_RECORD, VT_CLSID, optionally with VT_ARRAY or VT_BYREF, except an array or reference
// of VT_EMPTY or VT_NULL.
HRESULT validate(VARTYPE vt) {
  VARTYPE extra = vt & kExtraFlags;
  VARTYPE base = vt & VT_TYPEMASK;
  if (extra & (VT_VECTOR | VT_RESERVED)) return DISP_E_BADVARTYPE;
  if (base >= VT_VOID && base != VT_RECORD && base != VT_CLSID) return DISP_E_BADVARTYPE;
  if ((extra & (VT_BYREF | VT_ARRAY)) && base <= VT_NULL) return DISP_E_BADVARTYPE;
  if (base == 15) return DISP_E_BADVARTYPE;
  return S_OK;
}

}  // namespace

void WINAPI VariantInit(VARIANTARG* pvarg) { pvarg->vt = VT_EMPTY; }

HRESULT WINAPI VariantClear(VARIANTARG* pvarg) {
  if (!pvarg) return E_INVALIDARG;
  HRESULT hr = validate(pvarg->vt);
  if (FAILED(hr)) return hr;
  if (!(pvarg->vt & VT_BYREF)) {
    if ((pvarg->vt & VT_ARRAY) || pvarg->vt == VT_SAFEARRAY) {
      hr = SafeArrayDestroy(pvarg->parray);
    } else if (pvarg->vt == VT_BSTR) {
      SysFreeString(pvarg->bstrVal);
    } else if (pvarg->vt == VT_UNKNOWN || pvarg->vt == VT_DISPATCH) {
      pw::oleaut::release(pvarg->punkVal);
    } else if (pvarg->vt == VT_RECORD && pvarg->pRecInfo) {
      pw::oleaut::release(reinterpret_cast<IUnknown*>(pvarg->pRecInfo));
    }
  }
  pvarg->vt = VT_EMPTY;
  return hr;
}

HRESULT WINAPI VariantCopy(VARIANTARG* pvargDest, VARIANTARG* pvargSrc) {
  if (!pvargDest || !pvargSrc) return E_INVALIDARG;
  if ((pvargSrc->vt & VT_TYPEMASK) == VT_CLSID || FAILED(validate(pvargSrc->vt)))
    return DISP_E_BADVARTYPE;
  if (pvargDest == pvargSrc) return S_OK;
  if (HRESULT hr = VariantClear(pvargDest); FAILED(hr)) return hr;

  *pvargDest = *pvargSrc;  // the value as it is; owned parts are duplicated below
  if (pvargSrc->vt & VT_BYREF) return S_OK;
  if (pvargSrc->vt == VT_BSTR) {
    BSTR s = pvargSrc->bstrVal;
    if (s) {
      pvargDest->bstrVal = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(s), SysStringByteLen(s));
      if (!pvargDest->bstrVal) {
        pvargDest->vt = VT_EMPTY;
        return E_OUTOFMEMORY;
      }
    }
  } else if (pvargSrc->vt == VT_UNKNOWN || pvargSrc->vt == VT_DISPATCH) {
    pw::oleaut::addRef(pvargSrc->punkVal);
  } else if (pvargSrc->vt == VT_RECORD) {
    pvargDest->vt = VT_EMPTY;  // records need IRecordInfo, which this platform lacks
    return E_NOTIMPL;
  } else if ((pvargSrc->vt & VT_ARRAY) || pvargSrc->vt == VT_SAFEARRAY) {
    if (HRESULT hr = SafeArrayCopy(pvargSrc->parray, &pvargDest->parray); FAILED(hr)) {
      pvargDest->vt = VT_EMPTY;
      return hr;
    }
  }
  return S_OK;
}
