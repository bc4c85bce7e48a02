#include "components/certenroll/der.h"

namespace pw::enrol::der {

Bytes constructed(BYTE tag, std::initializer_list<const Bytes*> parts) {
  size_t length = 0;
  for (const Bytes* part : parts) length += part->size();
  Bytes out{tag};
  if (length < 0x80) {
    out.push_back(BYTE(length));
  } else {
    BYTE octets[sizeof(size_t)];
    int count = 0;
    for (size_t rest = length; rest; rest >>= 8) octets[count++] = BYTE(rest & 0xFF);
    out.push_back(BYTE(0x80 | count));
    while (count) out.push_back(octets[--count]);
  }
  for (const Bytes* part : parts) out.insert(out.end(), part->begin(), part->end());
  return out;
}

}  // namespace pw::enrol::der
