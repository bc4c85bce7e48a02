#include "certenroll/certificate.h"

namespace pw::enrol {

Certificate certificateFrom(std::string_view der) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(der.data());
  Certificate x(d2i_X509(nullptr, &bytes, long(der.size())));
  // Trailing bytes make it something else (or nothing).
  if (x && bytes != reinterpret_cast<const unsigned char*>(der.data()) + der.size()) x.reset();
  return x;
}

std::string derOf(X509* certificate) {
  pw::ossl::Bytes bytes;
  return bytes.take(i2d_X509(certificate, bytes.out()));
}

std::string publicKeyOf(X509* certificate) {
  pw::ossl::Bytes bytes;
  return bytes.take(i2d_X509_PUBKEY(X509_get_X509_PUBKEY(certificate), bytes.out()));
}

SystemStore::SystemStore(const char* name, bool machine)
    : store_(CertOpenStore(
          CERT_STORE_PROV_SYSTEM_A, 0, 0,
          machine ? CERT_SYSTEM_STORE_LOCAL_MACHINE : CERT_SYSTEM_STORE_CURRENT_USER, name)) {}

}  // namespace pw::enrol
