#include "der.h"

namespace pwm::der {

bool read(std::string_view bytes, Element* element) {
  if (bytes.size() < 2 || (BYTE(bytes[0]) & 0x1F) == 0x1F) return false;  // no long tags
  size_t length = BYTE(bytes[1]), header = 2;
  if (length & 0x80) {
    size_t count = length & 0x7F;
    if (count == 0 || count > 4 || bytes.size() < 2 + count) return false;
    length = 0;
    for (size_t i = 0; i < count; ++i) length = (length << 8) | BYTE(bytes[2 + i]);
    header += count;
  }
  if (length > bytes.size() - header) return false;
  element->tag = BYTE(bytes[0]);
  element->content = bytes.substr(header, length);
  element->whole = bytes.substr(0, header + length);
  return true;
}

bool children(std::string_view bytes, std::vector<Element>* elements) {
  elements->clear();
  while (!bytes.empty()) {
    Element e;
    if (!read(bytes, &e)) return false;
    elements->push_back(e);
    bytes.remove_prefix(e.whole.size());
  }
  return true;
}

std::string oid(std::string_view content) {
  std::string text;
  unsigned long long value = 0;
  bool first = true;
  for (size_t i = 0; i < content.size(); ++i) {
    if (value > (~0ull >> 7)) return {};
    value = (value << 7) | (BYTE(content[i]) & 0x7F);
    if (BYTE(content[i]) & 0x80) continue;
    if (first) {
      unsigned long long top = value < 40 ? 0 : value < 80 ? 1 : 2;
      text = std::to_string(top) + "." + std::to_string(value - 40 * top);
      first = false;
    } else {
      text += "." + std::to_string(value);
    }
    value = 0;
  }
  return content.empty() || (BYTE(content.back()) & 0x80) ? std::string() : text;
}

DWORD integerBits(std::string_view content) {
  while (!content.empty() && content[0] == '\0') content.remove_prefix(1);
  if (content.empty()) return 0;
  DWORD bits = DWORD(content.size() - 1) * 8;
  for (BYTE top = BYTE(content[0]); top; top >>= 1) ++bits;
  return bits;
}

}  // namespace pwm::der
