// Installing an authority's answer. The answer (one certificate, or a PKCS #7 message
// with certificates) is read whole and every certificate given its place before
// anything is written: a certificate whose public key is that of a pending request
// goes to "MY" with the request's key-provider information and ends the request; an
// authority's certificate goes to "Root" when it is self-issued and to "CA" otherwise.
// An answer that cannot be placed whole changes nothing; a store write that fails
// takes back what this installation added.
#include "components/certenroll/asn1.h"
#include "components/certenroll/enrolment.h"
#include "components/certenroll/system_store.h"
#include "components/common/text.h"

#include <algorithm>
#include <map>
#include <string>

namespace pw::enrol {
namespace {

struct Pending {
  win32::CertContext placeholder;  // null once the request has ended
  KeyProvider keyProvider;
};

struct Placement {
  win32::CertContext certificate;
  const char* store;
  Pending* request = nullptr;
};

// The certificates of an answer, in the order it gives them.
HRESULT certificatesOf(const Bytes& der, std::vector<win32::CertContext>* out) {
  if (win32::CertContext single = certificateOf(der.data(), DWORD(der.size()))) {
    out->push_back(std::move(single));
    return S_OK;
  }
  CRYPT_DATA_BLOB blob{DWORD(der.size()), const_cast<BYTE*>(der.data())};
  win32::CertStore message(
      CertOpenStore(CERT_STORE_PROV_PKCS7, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0, 0, &blob));
  if (!message) return com::lastError();
  for (PCCERT_CONTEXT c = nullptr; (c = CertEnumCertificatesInStore(message.get(), c));)
    out->emplace_back(CertDuplicateCertificateContext(c));
  return out->empty() ? CRYPT_E_NOT_FOUND : S_OK;
}

const CERT_EXTENSION* extensionOf(PCCERT_CONTEXT c, LPCSTR oid) {
  return CertFindExtension(oid, c->pCertInfo->cExtension, c->pCertInfo->rgExtension);
}

bool selfIssued(PCCERT_CONTEXT c) {
  return CertCompareCertificateName(X509_ASN_ENCODING, &c->pCertInfo->Subject,
                                    &c->pCertInfo->Issuer);
}

// An authority's certificate: basic constraints say so, or its key signs certificates,
// or it is a self-issued certificate of the first version, which has no extensions.
bool isAuthority(PCCERT_CONTEXT c) {
  Decoded decoded;
  if (const CERT_EXTENSION* e = extensionOf(c, szOID_BASIC_CONSTRAINTS2))
    return SUCCEEDED(decoded.decode(X509_BASIC_CONSTRAINTS2, e->Value.pbData, e->Value.cbData)) &&
           decoded.as<CERT_BASIC_CONSTRAINTS2_INFO>()->fCA;
  if (const CERT_EXTENSION* e = extensionOf(c, szOID_KEY_USAGE)) {
    if (FAILED(decoded.decode(X509_KEY_USAGE, e->Value.pbData, e->Value.cbData))) return false;
    const auto* bits = decoded.as<CRYPT_BIT_BLOB>();
    return bits->cbData > 0 && (bits->pbData[0] & CERT_KEY_CERT_SIGN_KEY_USAGE);
  }
  return c->pCertInfo->dwVersion == CERT_V1 && selfIssued(c);
}

class PendingRequests {
 public:
  explicit PendingRequests(bool machine) : store_("REQUEST", machine) {
    if (!store_) return;
    for (PCCERT_CONTEXT c = nullptr; (c = CertEnumCertificatesInStore(store_.get(), c));) {
      Pending pending{win32::CertContext(CertDuplicateCertificateContext(c)), KeyProvider()};
      if (SUCCEEDED(pending.keyProvider.read(c))) requests_.push_back(std::move(pending));
    }
  }

  Pending* forKey(PCCERT_CONTEXT certificate) {
    for (Pending& p : requests_)
      if (p.placeholder &&
          CertComparePublicKeyInfo(X509_ASN_ENCODING, &certificate->pCertInfo->SubjectPublicKeyInfo,
                                   &p.placeholder.get()->pCertInfo->SubjectPublicKeyInfo))
        return &p;
    return nullptr;
  }
  // Ends the requests whose certificates are installed.
  void end(const std::vector<Placement>& placements) {
    bool changed = false;
    for (const Placement& placement : placements)
      if (placement.request && placement.request->placeholder) {
        CertDeleteCertificateFromStore(placement.request->placeholder.release());
        changed = true;
      }
    if (changed) store_.commit();
  }

 private:
  SystemStore store_;
  std::vector<Pending> requests_;
};

HRESULT place(std::vector<win32::CertContext> certificates, PendingRequests& pending, Install mode,
              std::vector<Placement>* out) {
  for (win32::CertContext& certificate : certificates) {
    Placement placement{std::move(certificate), nullptr};
    PCCERT_CONTEXT c = placement.certificate.get();
    if (Pending* request = pending.forKey(c)) {
      placement.store = "MY";
      placement.request = request;
    } else if (mode == Install::Response && !isAuthority(c)) {
      return CRYPT_E_NOT_FOUND;  // an end entity's certificate that answers no request
    } else {
      placement.store = selfIssued(c) ? "Root" : "CA";
    }
    out->push_back(std::move(placement));
  }
  return S_OK;
}

// The stores an installation writes, each opened once and committed at the end.
class Stores {
 public:
  explicit Stores(bool machine) : machine_(machine) {}
  SystemStore* get(const char* name) {
    auto it = stores_.try_emplace(name, name, machine_).first;
    return &it->second;
  }
  HRESULT commit() {
    HRESULT result = S_OK;
    for (auto& [name, store] : stores_)
      if (HRESULT hr = store.commit(); FAILED(hr) && SUCCEEDED(result)) result = hr;
    return result;
  }

 private:
  bool machine_;
  std::map<std::string, SystemStore> stores_;
};

// Adds one placed certificate; `added` receives it when this call added it.
HRESULT add(const Placement& placement, Stores& stores, win32::CertContext* added) {
  SystemStore* store = stores.get(placement.store);
  if (!*store) return com::lastError();
  const CERT_CONTEXT* c = placement.certificate.get();
  // The property goes with a fresh copy, which the store takes with its properties.
  win32::CertContext copy = certificateOf(c->pbCertEncoded, c->cbCertEncoded);
  if (!copy) return com::lastError();
  if (placement.request)
    if (HRESULT hr = placement.request->keyProvider.setOn(copy.get()); FAILED(hr)) return hr;
  PCCERT_CONTEXT stored = nullptr;
  if (CertAddCertificateContextToStore(store->get(), copy.get(), CERT_STORE_ADD_NEW, &stored)) {
    added->reset(stored);
    return S_OK;
  }
  if (GetLastError() != DWORD(CRYPT_E_EXISTS)) return com::lastError();
  if (!placement.request) return S_OK;  // an authority already installed
  // The certificate is there already: it takes the request's key as it stands.
  return CertAddCertificateContextToStore(store->get(), copy.get(), CERT_STORE_ADD_USE_EXISTING,
                                          nullptr)
             ? S_OK
             : com::lastError();
}

}  // namespace

HRESULT install(const Bytes& der, bool machine, Install mode) {
  std::vector<win32::CertContext> certificates;
  if (HRESULT hr = certificatesOf(der, &certificates); FAILED(hr)) return hr;
  PendingRequests pending(machine);
  std::vector<Placement> placements;
  if (HRESULT hr = place(std::move(certificates), pending, mode, &placements); FAILED(hr))
    return hr;

  // Authorities first, so that a certificate never stands in "MY" without its chain.
  std::stable_partition(placements.begin(), placements.end(),
                        [](const Placement& p) { return !p.request; });
  Stores stores(machine);
  std::vector<win32::CertContext> added;
  HRESULT hr = S_OK;
  for (const Placement& placement : placements) {
    win32::CertContext context;
    hr = add(placement, stores, &context);
    if (context) added.push_back(std::move(context));
    if (FAILED(hr)) break;
  }
  if (FAILED(hr))
    for (win32::CertContext& context : added)
      CertDeleteCertificateFromStore(context.release());  // releases the context
  if (HRESULT committed = stores.commit(); SUCCEEDED(hr)) hr = committed;
  if (SUCCEEDED(hr)) pending.end(placements);
  return hr;
}

}  // namespace pw::enrol
