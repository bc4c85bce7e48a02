// The one table of the objects behind the handles the library hands out: files,
// registry keys, CryptoAPI providers, hashes and keys, and whatever a library adds.
// A handle's value is its object's address, or an address inside the object where
// callers read a structure at their handle (a certificate context's CERT_CONTEXT).
// It is honoured only while the object is in the table and only for the kind the
// call expects, so stale, made-up and wrong-kind handles are refused, never followed.
// The library is single-threaded, as the programs that use it are.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <type_traits>
#include <vector>

namespace pw::handles {

// Every kind of object handed out. A library that hands out a new kind adds it here.
enum class Kind : uint8_t {
  File,           // kernel32: CreateFileA, the standard handles
  RegistryKey,    // advapi32: RegOpenKeyExA, RegCreateKeyExA
  CryptProvider,  // advapi32: CryptAcquireContextA
  CryptHash,      // advapi32: CryptCreateHash
  CryptKey,       // advapi32: CryptDeriveKey, CryptGetUserKey, CryptGenKey, ...
  CertStore,      // crypt32: CertOpenStore, PFXImportCertStore
  Process,        // kernel32: CreateProcessA
  Thread,         // kernel32: CreateProcessA
  CertContext,    // crypt32: certificate contexts, keyed by their CERT_CONTEXT
  FindSearch,     // kernel32: FindFirstFileA
};

// The kinds that CloseHandle closes.
constexpr bool isKernelObject(Kind kind) {
  return kind == Kind::File || kind == Kind::Process || kind == Kind::Thread;
}

struct Object {
  explicit Object(Kind kind) : kind(kind) {}
  virtual ~Object() = default;
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;
  const Kind kind;
};

// The base of every object of one kind: `struct FileObject : ObjectOf<Kind::File>`.
template <Kind K>
struct ObjectOf : Object {
  static constexpr Kind kKind = K;
  ObjectOf() : Object(K) {}
};

template <class H>
uintptr_t valueOf(H handle) {
  if constexpr (std::is_pointer_v<H>)
    return reinterpret_cast<uintptr_t>(handle);
  else
    return static_cast<uintptr_t>(handle);
}

// Enters an object into the table and answers its handle value; 0, with the object
// destroyed, when the table cannot grow. The handle is the object's address, or
// `handle` when given: an address inside the object, so no two live objects share one.
uintptr_t addObject(std::unique_ptr<Object> object) noexcept;
uintptr_t addObject(std::unique_ptr<Object> object, const void* handle) noexcept;
template <class H>
H addObject(std::unique_ptr<Object> object) noexcept {
  uintptr_t value = addObject(std::move(object));
  if constexpr (std::is_pointer_v<H>)
    return reinterpret_cast<H>(value);
  else
    return static_cast<H>(value);
}

// The live object behind a handle, of any kind; null for anything else.
Object* lookup(uintptr_t handle) noexcept;

// The live object behind a handle when it is of the kind of T; null otherwise.
template <class T, class H>
T* objectFor(H handle) noexcept {
  Object* object = lookup(valueOf(handle));
  return object && object->kind == T::kKind ? static_cast<T*>(object) : nullptr;
}

// Takes an object out of the table and destroys it; false when the handle is not live.
bool destroyObject(uintptr_t handle) noexcept;
template <class H>
bool destroyObject(H handle) noexcept {
  return destroyObject(valueOf(handle));
}

// Every live handle value. A host that runs one program's work after another in one
// process (the fuzz targets) takes this before each and destroys, after it, the objects
// it left open, as that program's end would have.
std::vector<uintptr_t> liveHandles();

}  // namespace pw::handles
