// Subject names go through crypt32's X.500 string functions, as the components'
// do on Windows: ',' and ';' both separate relative names unless the flags say
// otherwise, quoting is honoured and the attribute order kept.
#include "certenroll/enrolment.h"

namespace pw::enrol {
namespace {

constexpr DWORD kStringTypeMask = 0xFF;

}  // namespace

HRESULT encodeName(const WCHAR* x500, DWORD flags, std::string* der) {
  if (!x500) return E_POINTER;
  // No string type reads the text as an X.500 name.
  if (!(flags & kStringTypeMask)) flags |= CERT_X500_NAME_STR;
  std::string text = narrow(x500);
  DWORD size = 0;
  if (!CertStrToNameA(X509_ASN_ENCODING, text.c_str(), flags, nullptr, nullptr, &size, nullptr))
    return lastError();
  std::string bytes(size, '\0');
  if (!CertStrToNameA(X509_ASN_ENCODING, text.c_str(), flags, nullptr,
                      reinterpret_cast<BYTE*>(bytes.data()), &size, nullptr))
    return lastError();
  bytes.resize(size);
  *der = std::move(bytes);
  return S_OK;
}

HRESULT renderName(const std::string& der, DWORD flags, std::string* text) {
  if (!(flags & kStringTypeMask)) flags |= CERT_X500_NAME_STR;
  CERT_NAME_BLOB name{DWORD(der.size()), reinterpret_cast<BYTE*>(const_cast<char*>(der.data()))};
  DWORD size = CertNameToStrA(X509_ASN_ENCODING, &name, flags, nullptr, 0);
  if (size == 0) return CRYPT_E_ASN1_BADTAG;
  std::string rendered(size, '\0');
  CertNameToStrA(X509_ASN_ENCODING, &name, flags, rendered.data(), size);
  rendered.resize(size - 1);
  *text = std::move(rendered);
  return S_OK;
}

}  // namespace pw::enrol
