#include "crypt32/flat_output.h"

#include "machine/guard.h"

#include <cstddef>

namespace pw::cert {

size_t Flat::reserve(size_t size, size_t align) {
  size_t at = (bytes_.size() + align - 1) / align * align;
  bytes_.resize(at + size);
  return at;
}

size_t Flat::add(const void* data, size_t size, size_t align) {
  size_t at = reserve(size, align);
  if (size) std::memcpy(bytes_.data() + at, data, size);
  return at;
}

size_t Flat::addString(std::string_view text) {
  size_t at = add(text.data(), text.size());
  bytes_.push_back(0);
  return at;
}

size_t Flat::addWide(std::u16string_view text) {
  size_t at = add(text.data(), text.size() * sizeof(char16_t), alignof(char16_t));
  bytes_.insert(bytes_.end(), sizeof(char16_t), 0);
  return at;
}

void Flat::blob(size_t at, std::string_view bytes) {
  set(at + offsetof(CRYPT_DATA_BLOB, cbData), DWORD(bytes.size()));
  link(at + offsetof(CRYPT_DATA_BLOB, pbData), bytes.empty() ? kNone : addBytes(bytes));
}

void Flat::bits(size_t at, std::string_view bytes, DWORD unusedBits) {
  set(at + offsetof(CRYPT_BIT_BLOB, cbData), DWORD(bytes.size()));
  set(at + offsetof(CRYPT_BIT_BLOB, cUnusedBits), unusedBits);
  link(at + offsetof(CRYPT_BIT_BLOB, pbData), bytes.empty() ? kNone : addBytes(bytes));
}

BOOL Flat::handOut(DWORD flags, const CRYPT_DECODE_PARA* para, void* out, DWORD* size) const {
  BYTE* place = nullptr;
  if (flags & CRYPT_DECODE_ALLOC_FLAG) {
    if (!out) return fail(ERROR_INVALID_PARAMETER);
    bool own = para && para->cbSize >= offsetof(CRYPT_DECODE_PARA, pfnFree) && para->pfnAlloc;
    place = static_cast<BYTE*>(own ? para->pfnAlloc(bytes_.size())
                                   : LocalAlloc(LMEM_FIXED, bytes_.size()));
    *static_cast<BYTE**>(out) = place;
    if (!place) return fail(ERROR_NOT_ENOUGH_MEMORY);
  } else if (out) {
    if (*size < bytes_.size()) {
      *size = DWORD(bytes_.size());
      return fail(ERROR_MORE_DATA);
    }
    place = static_cast<BYTE*>(out);
  }
  if (place) {
    std::memcpy(place, bytes_.data(), bytes_.size());
    for (const Link& l : links_) {
      BYTE* target = place + l.target;
      std::memcpy(place + l.field, &target, sizeof target);
    }
  }
  if (size) *size = DWORD(bytes_.size());
  return TRUE;
}

}  // namespace pw::cert
