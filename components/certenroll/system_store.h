// A system certificate store of the machine or of the current user, opened for
// writing. Changes are committed explicitly: Windows writes a registry store's changes
// at once, Wine keeps them in memory until a commit, and a commit of a store written
// at once changes nothing.
#pragma once

#include "components/certenroll/enrolment.h"

#include "components/common/text.h"

#include "cert.h"

namespace pw::enrol {

class SystemStore {
 public:
  SystemStore(const char* name, bool machine);
  HCERTSTORE get() const { return store_.get(); }
  explicit operator bool() const { return bool(store_); }
  HRESULT commit();

 private:
  win32::CertStore store_;
};

// The key-provider information of a certificate, copied out of the property (whose
// strings point into the buffer it was read into), and set again from the copy.
class KeyProvider {
 public:
  // From the certificate's property; S_OK, or the failure of reading it.
  HRESULT read(PCCERT_CONTEXT certificate);
  // From a key pair's settings.
  explicit KeyProvider(const KeyParams& key);
  KeyProvider() = default;
  HRESULT setOn(PCCERT_CONTEXT certificate);

 private:
  com::WideString container_;
  com::WideString provider_;
  CRYPT_KEY_PROV_INFO info_{};
};

// A copy of `der` as a certificate context in no store, or null (the last error says
// why).
win32::CertContext certificateOf(const BYTE* der, DWORD size);

}  // namespace pw::enrol
