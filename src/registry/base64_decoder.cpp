#include "registry/base64_decoder.h"

namespace {

// The alphabet's values, as CryptStringToBinaryA's decoder in the platform has them
// too: that one refuses other characters, this one counts them as 0, so the two stay
// apart (the platform never includes the system).
int sextet(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return 0;
}

}  // namespace

void base64Decode(LONG length, const char* text, BYTE* out, LONG* decodedLength) {
  if (length < 0 || length % 4 != 0) return;
  LONG decoded = 3 * (length / 4);
  if (length >= 2 && text[length - 1] == '=' && text[length - 2] == '=')
    decoded -= 2;
  else if (length >= 1 && text[length - 1] == '=')
    decoded -= 1;
  *decodedLength = decoded;
  if (!out || length == 0) return;

  for (LONG group = 0, k = 0; group < length; group += 4, k += 3) {
    int a = sextet(text[group]), b = sextet(text[group + 1]);
    int c = sextet(text[group + 2]), d = sextet(text[group + 3]);
    out[k] = BYTE((a << 2) | (b >> 4));
    if (k + 1 == decoded) return;
    out[k + 1] = BYTE(((b & 0x0F) << 4) | (c >> 2));
    if (k + 2 == decoded) return;
    out[k + 2] = BYTE(((c & 0x03) << 6) | d);
  }
}
