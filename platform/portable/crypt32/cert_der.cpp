#include "crypt32/cert_der.h"

#include <ctime>
#include <vector>

namespace pw::cert {
namespace {

constexpr BYTE kSequence = 0x30, kInteger = 0x02, kBitString = 0x03, kOctetString = 0x04,
               kOid = 0x06, kBoolean = 0x01, kUtcTime = 0x17, kGeneralizedTime = 0x18,
               kVersionTag = 0xA0, kExtensionsTag = 0xA3;
constexpr DWORD kCorrupt = DWORD(CRYPT_E_ASN1_CORRUPT);

// The next item of a structure: one that is missing makes the structure corrupt.
DWORD item(std::string_view* in, BYTE tag, Der* out) {
  if (in->empty()) return kCorrupt;
  return readElement(in, out, tag);
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
DWORD readTime(std::string_view* in, FILETIME* out) {
  if (in->empty()) return kCorrupt;
  Der t;
  BYTE tag = BYTE(in->front());
  if (DWORD e = readElement(in, &t, tag == kUtcTime ? kUtcTime : kGeneralizedTime)) return e;
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
    return kCorrupt;
  }
  if (s.back() != 'Z') return kCorrupt;
  struct tm tm {};
  tm.tm_year = year - 1900;
  tm.tm_mon = digits(s, at, 2) - 1;
  tm.tm_mday = digits(s, at + 2, 2);
  tm.tm_hour = digits(s, at + 4, 2);
  tm.tm_min = digits(s, at + 6, 2);
  tm.tm_sec = digits(s, at + 8, 2);
  if (year < 1601 || tm.tm_mon < 0 || tm.tm_mon > 11 || tm.tm_mday < 1 || tm.tm_mday > 31 ||
      tm.tm_hour < 0 || tm.tm_hour > 23 || tm.tm_min < 0 || tm.tm_min > 59 || tm.tm_sec < 0 ||
      tm.tm_sec > 60)
    return kCorrupt;
  uint64_t ticks = uint64_t(int64_t(timegm(&tm)) + 11644473600LL) * 10000000ULL;
  out->dwLowDateTime = DWORD(ticks);
  out->dwHighDateTime = DWORD(ticks >> 32);
  return 0;
}

// An OBJECT IDENTIFIER's content: empty, or one that reads as a dotted type.
DWORD readOid(std::string_view* in, std::string_view* oid) {
  Der id;
  if (DWORD e = item(in, kOid, &id)) return e;
  if (!id.content.empty() && oidOf(id.content).empty()) return kCorrupt;
  *oid = id.content;
  return 0;
}

// AlgorithmIdentifier: the OID and the DER of its parameters, if any.
DWORD readAlgorithm(std::string_view* in, std::string_view* oid, std::string_view* params) {
  Der seq;
  if (DWORD e = item(in, kSequence, &seq)) return e;
  std::string_view body = seq.content;
  if (DWORD e = readOid(&body, oid)) return e;
  *params = body;  // whatever follows the OID
  return 0;
}

DWORD readExtensions(std::string_view in, CertFields* f) {
  Der list;
  if (DWORD e = item(&in, kSequence, &list)) return e;
  if (!in.empty()) return kCorrupt;
  std::string_view items = list.content;
  while (!items.empty()) {
    Der ext, value;
    if (DWORD e = item(&items, kSequence, &ext)) return e;
    std::string_view x = ext.content;
    CertFields::Extension out;
    if (DWORD e = readOid(&x, &out.oid)) return e;
    if (!x.empty() && BYTE(x.front()) == kBoolean) {
      Der critical;
      if (DWORD e = item(&x, kBoolean, &critical)) return e;
      if (critical.content.size() != 1) return kCorrupt;
      out.critical = critical.content[0] != 0;
    }
    if (DWORD e = item(&x, kOctetString, &value)) return e;
    if (!x.empty()) return kCorrupt;
    out.value = value.content;
    f->extensions.push_back(out);
  }
  return 0;
}

// The fields of a TBSCertificate's content.
DWORD readToBeSigned(std::string_view in, CertFields* f) {
  Der e;
  if (!in.empty() && BYTE(in.front()) == kVersionTag) {
    Der version, v;
    if (DWORD err = readElement(&in, &version, kVersionTag)) return err;
    std::string_view vin = version.content;
    if (DWORD err = item(&vin, kInteger, &v)) return err;
    if (v.content.size() != 1 || !vin.empty()) return kCorrupt;
    f->version = BYTE(v.content[0]);
  }
  if (DWORD err = item(&in, kInteger, &e)) return err;
  if (e.content.empty()) return kCorrupt;
  f->serial = e.content;
  if (DWORD err = readAlgorithm(&in, &f->sigOid, &f->sigParams)) return err;
  if (DWORD err = item(&in, kSequence, &e)) return err;
  f->issuer = e.whole;
  Der validity;
  if (DWORD err = item(&in, kSequence, &validity)) return err;
  std::string_view times = validity.content;
  if (DWORD err = readTime(&times, &f->notBefore)) return err;
  if (DWORD err = readTime(&times, &f->notAfter)) return err;
  if (!times.empty()) return kCorrupt;
  if (DWORD err = item(&in, kSequence, &e)) return err;
  f->subject = e.whole;
  Der spki, bits;
  if (DWORD err = item(&in, kSequence, &spki)) return err;
  std::string_view key = spki.content;
  if (DWORD err = readAlgorithm(&key, &f->keyOid, &f->keyParams)) return err;
  if (DWORD err = item(&key, kBitString, &bits)) return err;
  if (bits.content.empty() || !key.empty()) return kCorrupt;
  f->unusedBits = BYTE(bits.content[0]);
  f->publicKey = bits.content.substr(1);
  // The unique identifiers ([1], [2]) are skipped; the extensions are [3], in any version.
  while (!in.empty()) {
    if (DWORD err = readElement(&in, &e)) return err;
    if (e.tag != kExtensionsTag) continue;
    if (DWORD err = readExtensions(e.content, f)) return err;
  }
  return 0;
}

// How deep constructed elements of indefinite length may nest inside each other; the
// bytes come from outside, and each level is a frame of the scan below.
constexpr int kMaxIndefiniteNesting = 32;

// readElement at a depth of indefinite lengths. crypt32 reads BER: a constructed element
// may have the indefinite length (0x80), its content running to the end-of-contents
// octets (00 00), which belong to the element's whole but not to its content. Content
// that never reaches them is corrupt, and so is a primitive element without a length.
DWORD readNested(std::string_view* in, Der* out, int tag, int depth) {
  if (in->empty()) return DWORD(CRYPT_E_ASN1_EOD);
  auto* p = reinterpret_cast<const BYTE*>(in->data());
  if (tag >= 0 && p[0] != tag) return DWORD(CRYPT_E_ASN1_BADTAG);
  if ((p[0] & 0x1F) == 0x1F || in->size() < 2) return DWORD(CRYPT_E_ASN1_CORRUPT);
  if (p[1] == 0x80) {
    if (!(p[0] & 0x20) || depth >= kMaxIndefiniteNesting) return DWORD(CRYPT_E_ASN1_CORRUPT);
    std::string_view rest = in->substr(2);
    for (;;) {
      if (rest.empty()) return DWORD(CRYPT_E_ASN1_CORRUPT);
      if (rest[0] == 0) {
        if (rest.size() < 2 || rest[1] != 0) return DWORD(CRYPT_E_ASN1_CORRUPT);
        break;
      }
      Der inner;
      if (DWORD e = readNested(&rest, &inner, -1, depth + 1)) return e;
    }
    size_t len = in->size() - 2 - rest.size();
    out->tag = p[0];
    out->whole = in->substr(0, 2 + len + 2);
    out->content = in->substr(2, len);
    in->remove_prefix(2 + len + 2);
    return 0;
  }
  size_t at = 2, len = p[1];
  if (len & 0x80) {
    size_t bytes = len & 0x7F;
    if (bytes > 4 || in->size() < 2 + bytes) return DWORD(CRYPT_E_ASN1_CORRUPT);
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

}  // namespace

DWORD readElement(std::string_view* in, Der* out, int tag) { return readNested(in, out, tag, 0); }

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

DWORD parseCertificate(std::string_view der, CertFields* f) {
  Der cert;
  if (DWORD e = readElement(&der, &cert, kSequence)) return e;  // what follows it is ignored
  std::string_view body = cert.content;
  if (body.empty() || BYTE(body.front()) != kSequence)
    return readToBeSigned(body, f);  // a TBSCertificate alone, unsigned
  Der tbs, sigAlg, sig;
  if (DWORD e = item(&body, kSequence, &tbs)) return e;
  if (DWORD e = item(&body, kSequence, &sigAlg)) return e;
  if (DWORD e = item(&body, kBitString, &sig)) return e;
  if (!body.empty()) return kCorrupt;
  return readToBeSigned(tbs.content, f);
}

}  // namespace pw::cert
