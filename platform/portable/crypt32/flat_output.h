// What CryptDecodeObjectEx hands out: one block that starts with the structure and holds
// everything its pointers point to. A decoder builds the block at offsets, links pointer
// fields to offsets, and the block is placed where the caller wants it, under the size
// protocol or in memory the call allocates, with each link made a pointer there.
#pragma once

#include <windows.h>

#include <wincrypt.h>

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace pw::cert {

class Flat {
 public:
  // Room for `size` zero bytes at an offset aligned to `align`; answers the offset.
  size_t reserve(size_t size, size_t align = alignof(void*));
  size_t add(const void* data, size_t size, size_t align = 1);
  size_t addBytes(std::string_view bytes) { return add(bytes.data(), bytes.size()); }
  size_t addString(std::string_view text);   // with its terminating zero
  size_t addWide(std::u16string_view text);  // with its terminating zero
  template <class T>
  size_t addStruct(const T& value) {
    return add(&value, sizeof value, alignof(void*));
  }

  template <class T>
  void set(size_t offset, const T& value) {
    std::memcpy(bytes_.data() + offset, &value, sizeof value);
  }
  template <class T>
  T get(size_t offset) const {
    T value;
    std::memcpy(&value, bytes_.data() + offset, sizeof value);
    return value;
  }

  // The pointer at `field` will point to `target` (or stay null for kNone).
  void link(size_t field, size_t target) {
    if (target != kNone) links_.push_back({field, target});
  }
  static constexpr size_t kNone = size_t(-1);

  // A CRYPT_*_BLOB at `at` holding `bytes` (a null pointer for none).
  void blob(size_t at, std::string_view bytes);
  // A CRYPT_BIT_BLOB at `at`.
  void bits(size_t at, std::string_view bytes, DWORD unusedBits);

  size_t size() const { return bytes_.size(); }

  // Places the block: the size protocol, or CRYPT_DECODE_ALLOC_FLAG with the caller's
  // allocator or LocalAlloc.
  BOOL handOut(DWORD flags, const CRYPT_DECODE_PARA* para, void* out, DWORD* size) const;

 private:
  struct Link {
    size_t field, target;
  };
  std::vector<BYTE> bytes_;
  std::vector<Link> links_;
};

}  // namespace pw::cert
