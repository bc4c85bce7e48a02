// Bytes through the interfaces: a BSTR holding bytes as they are, or text in one of the
// encodings CryptoAPI's string functions speak.
#include "components/certenroll/objects.h"
#include "components/common/text.h"

namespace pw::certenroll {

HRESULT encodeOut(const enrol::Bytes& bytes, EncodingType encoding, BSTR* out) {
  *out = nullptr;
  if (encoding == XCN_CRYPT_STRING_BINARY) {
    *out = SysAllocStringByteLen(reinterpret_cast<const char*>(bytes.data()), UINT(bytes.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
  }
  std::string text;
  if (HRESULT hr = enrol::toText(bytes, DWORD(encoding), &text); FAILED(hr)) return hr;
  *out = com::widen(text);
  return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT decodeIn(BSTR text, EncodingType encoding, enrol::Bytes* bytes) {
  if (!text) return E_POINTER;
  if (encoding == XCN_CRYPT_STRING_BINARY) {
    const auto* data = reinterpret_cast<const BYTE*>(text);
    bytes->assign(data, data + SysStringByteLen(text));
    return S_OK;
  }
  return enrol::fromText(com::narrow(text), DWORD(encoding), bytes);
}

}  // namespace pw::certenroll
