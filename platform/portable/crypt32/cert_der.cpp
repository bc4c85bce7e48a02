#include "crypt32/cert_der.h"

#include <ctime>
#include <vector>

namespace pw::cert {
namespace {

constexpr BYTE kSequence = 0x30, kInteger = 0x02, kBitString = 0x03, kOctetString = 0x04,
               kOid = 0x06, kBoolean = 0x01, kUtcTime = 0x17, kGeneralizedTime = 0x18,
               kVersionTag = 0xA0, kExtensionsTag = 0xA3;

bool expect(std::string_view* in, BYTE tag, Der* out) {
  return readDer(in, out) && out->tag == tag;
}

int digits(std::string_view s, size_t at, size_t n) {
  int v = 0;
  for (size_t i = at; i < at + n; ++i) {
    if (s[i] < '0' || s[i] > '9') return -1;
    v = v * 10 + (s[i] - '0');
  }
  return v;
}

// UTCTime (YYMMDDHHMMSSZ) or GeneralizedTime (YYYYMMDDHHMMSSZ) as a FILETIME.
bool readTime(std::string_view* in, FILETIME* out) {
  Der t;
  if (!readDer(in, &t)) return false;
  std::string_view s = t.content;
  int year;
  size_t at;
  if (t.tag == kUtcTime && s.size() == 13) {
    year = digits(s, 0, 2);
    year += year < 50 ? 2000 : 1900;
    at = 2;
  } else if (t.tag == kGeneralizedTime && s.size() == 15) {
    year = digits(s, 0, 4);
    at = 4;
  } else {
    return false;
  }
  if (s.back() != 'Z') return false;
  struct tm tm {};
  tm.tm_year = year - 1900;
  tm.tm_mon = digits(s, at, 2) - 1;
  tm.tm_mday = digits(s, at + 2, 2);
  tm.tm_hour = digits(s, at + 4, 2);
  tm.tm_min = digits(s, at + 6, 2);
  tm.tm_sec = digits(s, at + 8, 2);
  if (year < 0 || tm.tm_mon < 0 || tm.tm_mday < 1 || tm.tm_hour < 0 || tm.tm_min < 0 ||
      tm.tm_sec < 0)
    return false;
  uint64_t ticks = uint64_t(int64_t(timegm(&tm)) + 11644473600LL) * 10000000ULL;
  out->dwLowDateTime = DWORD(ticks);
  out->dwHighDateTime = DWORD(ticks >> 32);
  return true;
}

// AlgorithmIdentifier: the OID and the DER of its parameters, if any.
bool readAlgorithm(std::string_view* in, std::string_view* oid, std::string_view* params) {
  Der seq, id;
  if (!expect(in, kSequence, &seq)) return false;
  std::string_view body = seq.content;
  if (!expect(&body, kOid, &id)) return false;
  *oid = id.content;
  *params = body;  // whatever follows the OID
  return true;
}

}  // namespace

bool readDer(std::string_view* in, Der* out) {
  if (in->size() < 2) return false;
  auto* p = reinterpret_cast<const BYTE*>(in->data());
  size_t at = 2, len = p[1];
  if ((p[0] & 0x1F) == 0x1F) return false;  // multi-byte tags: none in a certificate
  if (len & 0x80) {
    size_t bytes = len & 0x7F;
    if (bytes == 0 || bytes > 4 || in->size() < 2 + bytes) return false;
    len = 0;
    for (size_t i = 0; i < bytes; ++i) len = (len << 8) | p[2 + i];
    at += bytes;
  }
  if (len > in->size() - at) return false;
  out->tag = p[0];
  out->whole = in->substr(0, at + len);
  out->content = in->substr(at, len);
  in->remove_prefix(at + len);
  return true;
}

DWORD readElement(std::string_view* in, Der* out, int tag) {
  if (in->empty()) return DWORD(CRYPT_E_ASN1_EOD);
  auto* p = reinterpret_cast<const BYTE*>(in->data());
  if (tag >= 0 && p[0] != tag) return DWORD(CRYPT_E_ASN1_BADTAG);
  if ((p[0] & 0x1F) == 0x1F) return DWORD(CRYPT_E_ASN1_CORRUPT);
  if (in->size() < 2) return DWORD(CRYPT_E_ASN1_EOD);
  size_t at = 2, len = p[1];
  if (len & 0x80) {
    size_t bytes = len & 0x7F;
    if (bytes == 0 || bytes > 4) return DWORD(CRYPT_E_ASN1_CORRUPT);
    if (in->size() < 2 + bytes) return DWORD(CRYPT_E_ASN1_EOD);
    len = 0;
    for (size_t i = 0; i < bytes; ++i) len = (len << 8) | p[2 + i];
    at += bytes;
  }
  if (len > in->size() - at) return DWORD(CRYPT_E_ASN1_EOD);
  out->tag = p[0];
  out->whole = in->substr(0, at + len);
  out->content = in->substr(at, len);
  in->remove_prefix(at + len);
  return 0;
}

std::string oidOf(std::string_view c) {
  if (c.empty() || (BYTE(c.back()) & 0x80)) return {};
  std::string out;
  uint64_t v = 0;
  bool first = true;
  for (char ch : c) {
    BYTE b = BYTE(ch);
    if (v >> 56) return {};
    v = (v << 7) | (b & 0x7F);
    if (b & 0x80) continue;
    if (first) {
      uint64_t top = v < 80 ? v / 40 : 2;
      out = std::to_string(top) + "." + std::to_string(v - top * 40);
      first = false;
    } else {
      out += "." + std::to_string(v);
    }
    v = 0;
  }
  return out;
}

std::string oidContent(std::string_view dotted) {
  std::vector<uint64_t> arcs;
  uint64_t v = 0;
  bool digit = false;
  for (char c : dotted) {
    if (c == '.') {
      if (!digit) return {};
      arcs.push_back(v);
      v = 0;
      digit = false;
    } else if (c >= '0' && c <= '9' && !(v >> 56)) {
      v = v * 10 + uint64_t(c - '0');
      digit = true;
    } else {
      return {};
    }
  }
  if (!digit) return {};
  arcs.push_back(v);
  if (arcs.size() < 2 || arcs[0] > 2 || (arcs[0] < 2 && arcs[1] >= 40)) return {};
  arcs[1] += arcs[0] * 40;
  std::string out;
  for (size_t i = 1; i < arcs.size(); ++i) {
    std::string part(1, char(arcs[i] & 0x7F));
    for (uint64_t rest = arcs[i] >> 7; rest; rest >>= 7)
      part.insert(part.begin(), char(0x80 | (rest & 0x7F)));
    out += part;
  }
  return out;
}

std::string derElement(BYTE tag, std::string_view content) {
  std::string out(1, char(tag));
  size_t n = content.size();
  if (n < 0x80) {
    out += char(n);
  } else {
    std::string len;
    for (; n; n >>= 8) len.insert(len.begin(), char(n & 0xFF));
    out += char(0x80 | len.size());
    out += len;
  }
  out += content;
  return out;
}

bool parseCertificate(std::string_view der, CertFields* f) {
  Der cert, tbs, sigAlg, sig, e;
  if (!expect(&der, kSequence, &cert) || !der.empty()) return false;
  std::string_view body = cert.content;
  if (!expect(&body, kSequence, &tbs) || !expect(&body, kSequence, &sigAlg) ||
      !expect(&body, kBitString, &sig) || !body.empty())
    return false;

  std::string_view in = tbs.content;
  Der version;
  std::string_view peek = in;
  if (readDer(&peek, &version) && version.tag == kVersionTag) {
    Der v;
    std::string_view vin = version.content;
    if (!expect(&vin, kInteger, &v) || v.content.size() != 1) return false;
    f->version = BYTE(v.content[0]);
    in = peek;
  }
  if (!expect(&in, kInteger, &e) || e.content.empty()) return false;
  f->serial = e.content;
  if (!readAlgorithm(&in, &f->sigOid, &f->sigParams)) return false;
  if (!expect(&in, kSequence, &e)) return false;
  f->issuer = e.whole;
  Der validity;
  if (!expect(&in, kSequence, &validity)) return false;
  std::string_view times = validity.content;
  if (!readTime(&times, &f->notBefore) || !readTime(&times, &f->notAfter)) return false;
  if (!expect(&in, kSequence, &e)) return false;
  f->subject = e.whole;
  Der spki, bits;
  if (!expect(&in, kSequence, &spki)) return false;
  std::string_view key = spki.content;
  if (!readAlgorithm(&key, &f->keyOid, &f->keyParams) || !expect(&key, kBitString, &bits) ||
      bits.content.empty() || !key.empty())
    return false;
  f->unusedBits = BYTE(bits.content[0]);
  f->publicKey = bits.content.substr(1);
  // The unique identifiers ([1], [2]) are skipped; the extensions are [3].
  while (!in.empty()) {
    if (!readDer(&in, &e)) return false;
    if (e.tag != kExtensionsTag) continue;
    Der list;
    std::string_view lin = e.content;
    if (!expect(&lin, kSequence, &list) || !lin.empty()) return false;
    std::string_view items = list.content;
    while (!items.empty()) {
      Der ext, oid, next;
      if (!expect(&items, kSequence, &ext)) return false;
      std::string_view x = ext.content;
      CertFields::Extension out;
      if (!expect(&x, kOid, &oid) || !readDer(&x, &next)) return false;
      out.oid = oid.content;
      if (next.tag == kBoolean) {
        out.critical = next.content.size() == 1 && next.content[0];
        if (!readDer(&x, &next)) return false;
      }
      if (next.tag != kOctetString || !x.empty()) return false;
      out.value = next.content;
      f->extensions.push_back(out);
    }
  }
  return true;
}

}  // namespace pw::cert
