// The encodings the enrolment components speak: base64 and its armoured forms as
// CryptBinaryToString writes them and CryptStringToBinary reads them, and the DER of
// the two extensions the requests carry.
#include "components/certenroll/asn1.h"
#include "components/certenroll/enrolment.h"
#include "components/common/text.h"

namespace pw::enrol {

HRESULT toText(const Bytes& bytes, DWORD flags, std::string* text) {
  DWORD size = 0;
  if (!CryptBinaryToStringA(bytes.data(), DWORD(bytes.size()), flags, nullptr, &size))
    return com::lastError();
  std::string out(size, '\0');
  if (!CryptBinaryToStringA(bytes.data(), DWORD(bytes.size()), flags, out.data(), &size))
    return com::lastError();
  out.resize(size);  // the size written does not count the terminating zero
  *text = std::move(out);
  return S_OK;
}

HRESULT fromText(std::string_view text, DWORD flags, Bytes* bytes) {
  DWORD size = 0;
  if (!CryptStringToBinaryA(text.data(), DWORD(text.size()), flags, nullptr, &size, nullptr,
                            nullptr))
    return com::lastError();
  Bytes out(size);
  if (!CryptStringToBinaryA(text.data(), DWORD(text.size()), flags, out.data(), &size, nullptr,
                            nullptr))
    return com::lastError();
  out.resize(size);
  *bytes = std::move(out);
  return S_OK;
}

HRESULT encodeKeyUsage(DWORD usage, Extension* out) {
  // X.509 numbers the bits from the first byte's most significant one; decipherOnly
  // (bit 8) is the second byte's 0x80. DER leaves no trailing zero bit, and the
  // encoder writes the unused bits it is told, so they are counted here.
  BYTE bits[2] = {BYTE(usage & 0xFF), BYTE((usage >> 8) & 0x80)};
  DWORD bytes = bits[1] ? 2 : bits[0] ? 1 : 0;
  DWORD unused = 0;
  if (bytes)
    for (BYTE last = bits[bytes - 1]; !(last & 1); last >>= 1) ++unused;
  CRYPT_BIT_BLOB blob{bytes, bits, unused};
  out->oid = szOID_KEY_USAGE;
  out->critical = false;
  return encodeObject(X509_KEY_USAGE, &blob, &out->value);
}

HRESULT encodeEnhancedKeyUsage(const std::vector<std::string>& oids, Extension* out) {
  std::vector<LPSTR> identifiers;
  for (const std::string& oid : oids) identifiers.push_back(const_cast<LPSTR>(oid.c_str()));
  CERT_ENHKEY_USAGE usage{DWORD(identifiers.size()), identifiers.data()};
  out->oid = szOID_ENHANCED_KEY_USAGE;
  out->critical = false;
  return encodeObject(X509_ENHANCED_KEY_USAGE, &usage, &out->value);
}

}  // namespace pw::enrol
