#include "components/certenroll/asn1.h"

#include "components/common/text.h"

namespace pw::enrol {

HRESULT encodeObject(LPCSTR type, const void* value, Bytes* der) {
  DWORD size = 0;
  if (!CryptEncodeObjectEx(X509_ASN_ENCODING, type, value, 0, nullptr, nullptr, &size))
    return com::lastError();
  Bytes out(size);
  if (!CryptEncodeObjectEx(X509_ASN_ENCODING, type, value, 0, nullptr, out.data(), &size))
    return com::lastError();
  out.resize(size);
  *der = std::move(out);
  return S_OK;
}

HRESULT Decoded::decode(LPCSTR type, const BYTE* der, DWORD size) {
  DWORD needed = 0;
  if (!CryptDecodeObjectEx(X509_ASN_ENCODING, type, der, size, 0, nullptr, nullptr, &needed))
    return com::lastError();
  buffer_ = std::make_unique<ULONG_PTR[]>(needed / sizeof(ULONG_PTR) + 1);
  if (!CryptDecodeObjectEx(X509_ASN_ENCODING, type, der, size, 0, nullptr, buffer_.get(), &needed))
    return com::lastError();
  return S_OK;
}

}  // namespace pw::enrol
