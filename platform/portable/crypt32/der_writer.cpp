#include "crypt32/der_writer.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace pw::cert::der {
namespace {

std::string lengthOf(size_t n) {
  if (n < 0x80) return std::string(1, char(n));
  std::string bytes;
  for (; n; n >>= 8) bytes.insert(bytes.begin(), char(n & 0xff));
  return char(0x80 | bytes.size()) + bytes;
}

// The base-128 digits of one arc, high digits first.
void appendArc(uint64_t arc, std::string* out) {
  std::string digits(1, char(arc & 0x7f));
  for (arc >>= 7; arc; arc >>= 7) digits.insert(digits.begin(), char(0x80 | (arc & 0x7f)));
  *out += digits;
}

// A two's-complement number, most significant byte first, in its shortest form.
std::string shortest(std::string bigEndian) {
  if (bigEndian.empty()) return std::string(1, '\0');
  size_t drop = 0;
  while (drop + 1 < bigEndian.size()) {
    BYTE first = BYTE(bigEndian[drop]), next = BYTE(bigEndian[drop + 1]);
    if ((first == 0x00 && !(next & 0x80)) || (first == 0xff && (next & 0x80)))
      ++drop;
    else
      break;
  }
  return bigEndian.substr(drop);
}

bool calendar(const FILETIME& time, SYSTEMTIME* st) { return FileTimeToSystemTime(&time, st); }

}  // namespace

std::string element(BYTE tag, std::string_view content) {
  std::string out(1, char(tag));
  out += lengthOf(content.size());
  out += content;
  return out;
}

std::string setOf(std::vector<std::string> elements) {
  std::sort(elements.begin(), elements.end(), [](const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return BYTE(x) < BYTE(y); });
  });
  std::string content;
  for (const std::string& e : elements) content += e;
  return element(kSet, content);
}

bool objectId(const char* dotted, std::string* out) {
  if (!dotted) return false;
  std::vector<uint64_t> arcs;
  for (const char* p = dotted;;) {
    if (*p < '0' || *p > '9') return false;
    char* end = nullptr;
    unsigned long long arc = std::strtoull(p, &end, 10);
    if (arc > 0xffffffffull) return false;
    arcs.push_back(arc);
    p = end;
    if (!*p) break;
    if (*p++ != '.') return false;
  }
  if (arcs.size() < 2 || arcs[0] > 2 || (arcs[0] < 2 && arcs[1] > 39)) return false;
  std::string content;
  appendArc(arcs[0] * 40 + arcs[1], &content);
  for (size_t i = 2; i < arcs.size(); ++i) appendArc(arcs[i], &content);
  *out = element(kOid, content);
  return true;
}

std::string signedInteger(const BYTE* littleEndian, size_t size) {
  std::string bigEndian(littleEndian ? size : 0, '\0');
  std::reverse_copy(littleEndian, littleEndian + bigEndian.size(), bigEndian.begin());
  return element(kInteger, shortest(std::move(bigEndian)));
}

std::string unsignedInteger(const BYTE* littleEndian, size_t size) {
  std::string bigEndian(littleEndian ? size : 0, '\0');
  std::reverse_copy(littleEndian, littleEndian + bigEndian.size(), bigEndian.begin());
  size_t zeros = 0;
  while (zeros + 1 < bigEndian.size() && bigEndian[zeros] == '\0') ++zeros;
  bigEndian.erase(0, zeros);
  if (bigEndian.empty() || (BYTE(bigEndian[0]) & 0x80)) bigEndian.insert(bigEndian.begin(), '\0');
  return element(kInteger, bigEndian);
}

std::string integer(int value) {
  std::string bigEndian;
  for (int i = 3; i >= 0; --i) bigEndian += char((unsigned(value) >> (8 * i)) & 0xff);
  return element(kInteger, shortest(std::move(bigEndian)));
}

std::string bitString(const CRYPT_BIT_BLOB& bits) {
  std::string content(1, char(bits.cUnusedBits));
  if (bits.pbData) content.append(reinterpret_cast<const char*>(bits.pbData), bits.cbData);
  // DER has the unused bits zero.
  if (content.size() > 1 && bits.cUnusedBits < 8) content.back() &= char(0xff << bits.cUnusedBits);
  return element(kBitString, content);
}

bool utcTime(const FILETIME& time, std::string* out) {
  SYSTEMTIME st;
  if (!calendar(time, &st) || st.wYear < 1950 || st.wYear > 2049) return false;
  char text[40];
  std::snprintf(text, sizeof text, "%02u%02u%02u%02u%02u%02uZ", unsigned(st.wYear % 100),
                unsigned(st.wMonth), unsigned(st.wDay), unsigned(st.wHour), unsigned(st.wMinute),
                unsigned(st.wSecond));
  *out = element(kUtcTime, text);
  return true;
}

bool generalizedTime(const FILETIME& time, std::string* out) {
  SYSTEMTIME st;
  if (!calendar(time, &st)) return false;
  char text[48];
  std::snprintf(text, sizeof text, "%04u%02u%02u%02u%02u%02uZ", unsigned(st.wYear),
                unsigned(st.wMonth), unsigned(st.wDay), unsigned(st.wHour), unsigned(st.wMinute),
                unsigned(st.wSecond));
  *out = element(kGeneralizedTime, text);
  return true;
}

bool choiceOfTime(const FILETIME& time, std::string* out) {
  return utcTime(time, out) || generalizedTime(time, out);
}

}  // namespace pw::cert::der
