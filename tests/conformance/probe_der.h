// DER built by hand for the probes, independently of the encoder under test: an
// element of any length, a SEQUENCE, an OBJECT IDENTIFIER from its dotted text.
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

namespace probe::der {

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

}  // namespace probe::der
