// Certificates as the engine handles them: OpenSSL's X509 with an owner, read from
// DER, and the system stores they go to.
#pragma once

#include <windows.h>

#include <wincrypt.h>

#include "machine/ossl.h"

#include <memory>
#include <string>
#include <string_view>

namespace pw::enrol {

using Certificate = pw::ossl::Certificate;

Certificate certificateFrom(std::string_view der);
std::string derOf(X509* certificate);
// The DER of a certificate's subject public key information: what ties a certificate to
// its key pair.
std::string publicKeyOf(X509* certificate);

// An open system store, closed with its owner.
class SystemStore {
 public:
  SystemStore(const char* name, bool machine);
  ~SystemStore() {
    if (store_) CertCloseStore(store_, 0);
  }
  SystemStore(const SystemStore&) = delete;
  SystemStore& operator=(const SystemStore&) = delete;
  HCERTSTORE get() const { return store_; }
  explicit operator bool() const { return store_ != nullptr; }

 private:
  HCERTSTORE store_;
};

}  // namespace pw::enrol
