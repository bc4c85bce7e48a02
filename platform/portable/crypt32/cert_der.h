// A reader of the DER of an X.509 certificate, for CERT_INFO: exact field bytes, every
// length checked against what holds it, failures told by crypt32's ASN.1 errors. OpenSSL's d2i_X509
// also decodes the public key through its provider decoders, which costs a hundred times more than
// the rest; a store opened for a lookup decodes every certificate in it.
#pragma once

#include <windows.h>

#include <wincrypt.h>

#include <string>
#include <string_view>
#include <vector>

namespace pw::cert {

struct Der {
  BYTE tag = 0;
  std::string_view whole;  // tag, length and content
  std::string_view content;
};

// Reads one element from the front of `in` and removes it, answering as crypt32's
// decoders do: 0, or CRYPT_E_ASN1_EOD when `in` is empty or ends before the element's
// content does, CRYPT_E_ASN1_BADTAG when `tag` is not negative and the element has
// another (checked first), CRYPT_E_ASN1_CORRUPT for a tag or length cut short or one BER
// never has. A constructed element may have the indefinite length, as BER allows.
DWORD readElement(std::string_view* in, Der* out, int tag = -1);
// The same where only success matters: false when `in` holds no whole element.
inline bool readDer(std::string_view* in, Der* out) { return readElement(in, out) == 0; }
// The dotted form of an OBJECT IDENTIFIER's content; empty when malformed.
std::string oidOf(std::string_view content);
// The content of an OBJECT IDENTIFIER of a dotted type; empty when it is not one.
std::string oidContent(std::string_view dotted);
// One DER element: the tag, the length in its shortest form, the content.
std::string derElement(BYTE tag, std::string_view content);

struct CertFields {
  DWORD version = 0;
  std::string_view serial, sigOid, sigParams, issuer, subject, keyOid, keyParams, publicKey;
  DWORD unusedBits = 0;
  FILETIME notBefore{}, notAfter{};
  struct Extension {
    std::string_view oid, value;
    bool critical = false;
  };
  std::vector<Extension> extensions;
};

// The fields of a DER certificate, signed or its TBSCertificate alone, bytes after it
// ignored; 0, or the ASN.1 error crypt32 gives: CRYPT_E_ASN1_CORRUPT for an item
// missing, left over or malformed inside it, as well as readElement's answers.
DWORD parseCertificate(std::string_view der, CertFields* out);

}  // namespace pw::cert
