// A key pair's container opened for signing: its public key as CryptoAPI exports it,
// and DER signed with its private key (SHA-256 with RSA) into the signed form that
// certificates and requests share.
#pragma once

#include "components/certenroll/enrolment.h"

#include "crypt.h"

#include <memory>

namespace pw::enrol {

class SigningKey {
 public:
  HRESULT open(const KeyParams& key);
  HCRYPTPROV provider() const { return provider_.get(); }
  const CERT_PUBLIC_KEY_INFO* publicKey() const {
    return reinterpret_cast<const CERT_PUBLIC_KEY_INFO*>(publicKey_.get());
  }
  // The algorithm every signature of the components uses.
  static CRYPT_ALGORITHM_IDENTIFIER algorithm();
  // { toBeSigned, algorithm, signature } in DER.
  HRESULT sign(const Bytes& toBeSigned, Bytes* signedDer) const;

 private:
  win32::CryptProvider provider_;
  DWORD keySpec_ = 0;
  std::unique_ptr<ULONG_PTR[]> publicKey_;  // the structure's pointers point into it
};

}  // namespace pw::enrol
