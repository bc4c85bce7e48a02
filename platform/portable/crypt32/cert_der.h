// A reader of the DER of an X.509 certificate, for CERT_INFO: exact field bytes, every
// length checked against what holds it. OpenSSL's d2i_X509 also decodes the public key
// through its provider decoders, which costs a hundred times more than the rest; a
// store opened for a lookup decodes every certificate in it.
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

// Reads one element from the front of `in` and removes it; false when `in` holds none.
bool readDer(std::string_view* in, Der* out);
// The dotted form of an OBJECT IDENTIFIER's content; empty when malformed.
std::string oidOf(std::string_view content);

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

// The fields of a whole DER certificate; false when it is no certificate.
bool parseCertificate(std::string_view der, CertFields* out);

}  // namespace pw::cert
