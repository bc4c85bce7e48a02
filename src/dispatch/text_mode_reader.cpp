#include "dispatch/text_mode_reader.h"

int TextModeReader::next() {
  if (pending_ >= 0) {
    int c = pending_;
    pending_ = -1;
    return c;
  }
  if (rawPos_ == rawLen_) {
    DWORD want = DWORD(left_ < sizeof raw_ ? left_ : sizeof raw_), got = 0;
    if (want == 0) return -1;
    if (!ReadFile(file_, raw_, want, &got, nullptr)) {
      failed_ = true;
      return -1;
    }
    if (got == 0) return -1;  // shorter than it was: another process cut it
    left_ -= got;
    rawLen_ = got;
    rawPos_ = 0;
  }
  return static_cast<unsigned char>(raw_[rawPos_++]);
}

size_t TextModeReader::read(char* out, size_t size) {
  size_t n = 0;
  while (n < size && !ended_) {
    int c = next();
    if (c < 0 || c == 26) {
      ended_ = true;
      break;
    }
    if (c == '\r') {
      int after = next();
      if (after == '\n')
        c = '\n';
      else
        pending_ = after;  // a lone carriage return stays
    }
    out[n++] = char(c);
  }
  return n;
}
