// Ownership of one Win32 handle or object: closed when the owner goes away, moved
// but never copied. Each kind names its traits (the handle type, the value that
// means "none", the call that closes it) in the header of its family:
//   reg_key.h  registry keys            handle.h  files, processes, threads
//   crypt.h    CryptoAPI provider, hash and key
//   cert.h     certificate stores and contexts
//   oleaut.h   SAFEARRAY, BSTR and VARIANT
//   local.h    LocalAlloc blocks, folder searches
// Usage: `RegKey key; RegOpenKeyExA(root, path, 0, KEY_READ, key.out());`
// Every family header has the same form on purpose (traits: type, none, close; then
// the alias), so that a new kind is added by copying its neighbour.
#pragma once

#include <utility>

namespace win32 {

template <class Traits>
class Owned {
 public:
  using Type = typename Traits::Type;

  Owned() = default;
  explicit Owned(Type handle) : handle_(handle) {}
  ~Owned() { reset(); }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  Owned(Owned&& other) noexcept : handle_(other.release()) {}
  Owned& operator=(Owned&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  Type get() const { return handle_; }
  explicit operator bool() const { return handle_ != Traits::none(); }

  // Closes what is held and answers where a Win32 call may store the next handle.
  Type* out() {
    reset();
    return &handle_;
  }
  // Gives the handle up without closing it.
  Type release() { return std::exchange(handle_, Traits::none()); }
  // Closes what is held and takes `handle` instead.
  void reset(Type handle = Traits::none()) {
    Type old = std::exchange(handle_, handle);
    if (old != Traits::none()) Traits::close(old);
  }

 private:
  Type handle_ = Traits::none();
};

}  // namespace win32
