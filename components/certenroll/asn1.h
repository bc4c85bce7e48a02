// CryptoAPI's ASN.1 encoder and decoder with the size protocol, into buffers the engine
// owns: the size is asked for first, then the structure is written.
#pragma once

#include "components/certenroll/enrolment.h"

#include <memory>

namespace pw::enrol {

// The DER of `value`, a structure of the CryptoAPI type `type` (X509_KEY_USAGE, ...).
HRESULT encodeObject(LPCSTR type, const void* value, Bytes* der);

// A decoded structure: its pointers point into its own buffer, which keeps the
// alignment of the structure.
class Decoded {
 public:
  template <class T>
  const T* as() const {
    return reinterpret_cast<const T*>(buffer_.get());
  }
  HRESULT decode(LPCSTR type, const BYTE* der, DWORD size);

 private:
  std::unique_ptr<ULONG_PTR[]> buffer_;
};

}  // namespace pw::enrol
