#include "crypto/light_key_stream.h"

#include <algorithm>

void fillLightKeyStream(std::span<const BYTE> key, std::span<const BYTE> inverseKey,
                        std::span<BYTE> out) {
  const size_t blockLength = key.size();
  if (blockLength == 0) return;
  const size_t whole = out.size() / blockLength;
  const size_t rest = out.size() - whole * blockLength;
  bool onKey = true;
  for (size_t block = 0; block < whole; ++block) {
    std::span<const BYTE> from = onKey ? key : inverseKey;
    std::copy(from.begin(), from.end(), out.begin() + block * blockLength);
    onKey = !onKey;
  }
  if (rest > 0) {
    std::span<const BYTE> from = onKey ? key : inverseKey;
    std::copy_n(from.begin(), rest, out.begin() + whole * blockLength);
  }
}

std::vector<BYTE> lightTransform(std::span<const BYTE> key, std::span<const BYTE> data) {
  std::vector<BYTE> inverse(key.rbegin(), key.rend());
  std::vector<BYTE> out(data.size());
  fillLightKeyStream(key, inverse, out);
  for (size_t i = 0; i < data.size(); ++i) out[i] ^= data[i];
  return out;
}
