// DER built by hand for the unit tests of the certificate calls and for the
// conformance probes, independently of the encoder under test: elements of any
// length, object identifiers, names of one common name, certificates.
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

namespace test::der {

using Bytes = std::string;

inline Bytes tlv(int tag, const Bytes& content) {
  Bytes out(1, char(tag));
  size_t n = content.size();
  if (n < 0x80)
    out += char(n);
  else if (n < 0x100)
    out += {char(0x81), char(n)};
  else
    out += {char(0x82), char(n >> 8), char(n & 0xFF)};
  return out + content;
}
inline Bytes seq(const Bytes& content) { return tlv(0x30, content); }

// An OBJECT IDENTIFIER from its dotted text.
inline Bytes oid(const char* dotted) {
  std::vector<unsigned long> arcs;
  for (const char* p = dotted; *p;) {
    arcs.push_back(std::strtoul(p, const_cast<char**>(&p), 10));
    if (*p == '.') ++p;
  }
  Bytes body(1, char(arcs[0] * 40 + arcs[1]));
  for (size_t i = 2; i < arcs.size(); ++i) {
    Bytes part;
    unsigned long v = arcs[i];
    part += char(v & 0x7F);
    for (v >>= 7; v; v >>= 7) part.insert(part.begin(), char(0x80 | (v & 0x7F)));
    body += part;
  }
  return tlv(0x06, body);
}
// A constructed element of indefinite length, as BER allows: its content, then the
// end-of-contents octets.
inline Bytes indefinite(int tag, const Bytes& content) {
  return Bytes{char(tag), char(0x80)} + content + Bytes(2, '\0');
}

// An AlgorithmIdentifier with an empty OBJECT IDENTIFIER, as crypt32 takes one.
inline const Bytes kEmptyAlgorithm("\x30\x02\x06\x00", 4);

// A Name of one relative name, a PrintableString common name.
inline Bytes commonName(const Bytes& value) {
  return seq(tlv(0x31, seq(Bytes("\x06\x03\x55\x04\x03", 5) + tlv(0x13, value))));
}

// An unsigned version 1 certificate (its TBSCertificate alone) with empty algorithm
// identifiers, an empty key and times of years 1601 and 9999.
inline Bytes unsignedCertificate(int serial, const Bytes& issuer, const Bytes& subject) {
  return seq(tlv(0x02, Bytes(1, char(serial))) + kEmptyAlgorithm + commonName(issuer) +
             seq(tlv(0x18, "16010101000000Z") + tlv(0x18, "99991231235959Z")) +
             commonName(subject) + seq(kEmptyAlgorithm + Bytes("\x03\x01\x00", 3)));
}

// The same signed: TBSCertificate, algorithm, a signature that is no real one.
inline Bytes signedCertificate(const Bytes& tbs) {
  return seq(tbs + kEmptyAlgorithm + tlv(0x03, Bytes("\x00\x01\x02\x03", 4)));
}

}  // namespace test::der
