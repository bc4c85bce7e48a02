// Subject names go through crypt32's X.500 string functions, as the components' do on
// Windows: ',' and ';' both separate relative names unless the flags say otherwise,
// quoting is honoured and the attribute order kept.
#include "components/certenroll/enrolment.h"
#include "components/common/text.h"

namespace pw::enrol {
namespace {

constexpr DWORD kStringTypeMask = 0xFF;

DWORD withStringType(DWORD flags) {
  return (flags & kStringTypeMask) ? flags : flags | CERT_X500_NAME_STR;
}

}  // namespace

HRESULT encodeName(const WCHAR* x500, DWORD flags, Bytes* der) {
  if (!x500) return E_POINTER;
  flags = withStringType(flags);
  std::string text = com::narrow(x500);
  DWORD size = 0;
  if (!CertStrToNameA(X509_ASN_ENCODING, text.c_str(), flags, nullptr, nullptr, &size, nullptr))
    return com::lastError();
  Bytes out(size);
  if (!CertStrToNameA(X509_ASN_ENCODING, text.c_str(), flags, nullptr, out.data(), &size, nullptr))
    return com::lastError();
  out.resize(size);
  *der = std::move(out);
  return S_OK;
}

HRESULT renderName(const Bytes& der, DWORD flags, std::string* text) {
  flags = withStringType(flags);
  CERT_NAME_BLOB name{DWORD(der.size()), const_cast<BYTE*>(der.data())};
  DWORD size = CertNameToStrA(X509_ASN_ENCODING, &name, flags, nullptr, 0);
  if (size == 0) return CRYPT_E_ASN1_BADTAG;
  std::string rendered(size, '\0');
  CertNameToStrA(X509_ASN_ENCODING, &name, flags, rendered.data(), size);
  rendered.resize(size - 1);
  *text = std::move(rendered);
  return S_OK;
}

}  // namespace pw::enrol
