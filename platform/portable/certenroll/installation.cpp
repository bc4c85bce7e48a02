// Installing an authority's answer. The answer (one certificate, or a PKCS #7 message
// with certificates) is read whole and every certificate given its place before
// anything is written: a certificate whose public key is that of a pending request
// goes to "MY" with the request's key-provider information and ends the request; an
// authority's certificate goes to "Root" when it is self-signed and to "CA" otherwise.
// An answer that cannot be placed whole changes nothing; a store write that fails
// takes back what this installation added.
#include "certenroll/certificate.h"
#include "certenroll/enrolment.h"

#include "machine/ossl.h"

#include <algorithm>

#include <vector>

namespace pw::enrol {
namespace {

// The key-provider information of a pending request, copied out of the property
// (whose strings point into the buffer it was read into).
struct KeyProvider {
  std::u16string container;
  std::u16string provider;
  CRYPT_KEY_PROV_INFO info{};

  explicit KeyProvider(const CRYPT_KEY_PROV_INFO& from) : info(from) {
    auto copy = [](LPCWSTR text) {
      return text ? std::u16string(reinterpret_cast<const char16_t*>(text)) : std::u16string();
    };
    container = copy(from.pwszContainerName);
    provider = copy(from.pwszProvName);
    info.cProvParam = 0;
    info.rgProvParam = nullptr;
  }
  // The property to set, pointing into this copy.
  const CRYPT_KEY_PROV_INFO* property() {
    info.pwszContainerName = reinterpret_cast<LPWSTR>(container.data());
    info.pwszProvName = provider.empty() ? nullptr : reinterpret_cast<LPWSTR>(provider.data());
    return &info;
  }
};

struct Pending {
  PCCERT_CONTEXT placeholder;  // owned
  std::string publicKey;
  KeyProvider keyProvider;
};

struct Placement {
  Certificate certificate;
  const char* store;
  Pending* request = nullptr;
};

// The certificates of an answer, in the order it gives them.
HRESULT certificatesOf(std::string_view der, std::vector<Certificate>* out) {
  if (Certificate single = certificateFrom(der)) {
    out->push_back(std::move(single));
    return S_OK;
  }
  const auto* bytes = reinterpret_cast<const unsigned char*>(der.data());
  pw::ossl::Pkcs7 message(d2i_PKCS7(nullptr, &bytes, long(der.size())));
  if (!message || bytes != reinterpret_cast<const unsigned char*>(der.data()) + der.size())
    return CRYPT_E_ASN1_BADTAG;
  if (!PKCS7_type_is_signed(message.get()) || !message->d.sign) return CRYPT_E_INVALID_MSG_TYPE;
  STACK_OF(X509)* certificates = message->d.sign->cert;
  for (int i = 0; i < sk_X509_num(certificates); ++i) {
    X509* x = sk_X509_value(certificates, i);
    X509_up_ref(x);
    out->push_back(Certificate(x));
  }
  return out->empty() ? CRYPT_E_NOT_FOUND : S_OK;
}

class PendingRequests {
 public:
  explicit PendingRequests(bool machine) : store_("REQUEST", machine) {
    if (!store_) return;
    for (PCCERT_CONTEXT c = nullptr; (c = CertEnumCertificatesInStore(store_.get(), c));) {
      Certificate x = certificateFrom(
          std::string_view(reinterpret_cast<const char*>(c->pbCertEncoded), c->cbCertEncoded));
      DWORD size = 0;
      if (!x || !CertGetCertificateContextProperty(c, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size))
        continue;
      std::vector<BYTE> info(size);
      if (!CertGetCertificateContextProperty(c, CERT_KEY_PROV_INFO_PROP_ID, info.data(), &size))
        continue;
      requests_.push_back({CertDuplicateCertificateContext(c), publicKeyOf(x.get()),
                           KeyProvider(*reinterpret_cast<CRYPT_KEY_PROV_INFO*>(info.data()))});
    }
  }
  ~PendingRequests() {
    for (const Pending& p : requests_)
      if (p.placeholder) CertFreeCertificateContext(p.placeholder);
  }
  PendingRequests(const PendingRequests&) = delete;
  PendingRequests& operator=(const PendingRequests&) = delete;

  Pending* forKey(const std::string& publicKey) {
    for (Pending& p : requests_)
      if (p.publicKey == publicKey) return &p;
    return nullptr;
  }
  // Ends a request whose certificate is installed: its placeholder leaves the store.
  HRESULT end(const Pending* request) {
    for (Pending& p : requests_)
      if (&p == request && p.placeholder) {
        PCCERT_CONTEXT placeholder = p.placeholder;
        p.placeholder = nullptr;
        if (!CertDeleteCertificateFromStore(placeholder)) return lastError();  // released
      }
    return S_OK;
  }

 private:
  SystemStore store_;
  std::vector<Pending> requests_;
};

bool selfSigned(X509* x) { return X509_check_issued(x, x) == X509_V_OK; }

HRESULT place(std::vector<Certificate> certificates, PendingRequests& pending, Install mode,
              std::vector<Placement>* out) {
  for (Certificate& certificate : certificates) {
    X509* x = certificate.get();
    Placement placement{std::move(certificate), nullptr};
    if (Pending* request = pending.forKey(publicKeyOf(x))) {
      placement.store = "MY";
      placement.request = request;
    } else if (mode == Install::Response && X509_check_ca(x) == 0) {
      return CRYPT_E_NOT_FOUND;  // an end entity's certificate that answers no request
    } else {
      placement.store = selfSigned(x) ? "Root" : "CA";
    }
    out->push_back(std::move(placement));
  }
  return S_OK;
}

// Adds one placed certificate; `added` answers the context when this call added it.
HRESULT add(const Placement& placement, bool machine, PCCERT_CONTEXT* added) {
  SystemStore store(placement.store, machine);
  if (!store) return lastError();
  std::string der = derOf(placement.certificate.get());
  PCCERT_CONTEXT context = nullptr;
  if (!CertAddEncodedCertificateToStore(store.get(), X509_ASN_ENCODING,
                                        reinterpret_cast<const BYTE*>(der.data()),
                                        DWORD(der.size()), CERT_STORE_ADD_NEW, &context)) {
    if (GetLastError() != DWORD(CRYPT_E_EXISTS)) return lastError();
    if (!placement.request) return S_OK;  // an authority already installed
    if (!CertAddEncodedCertificateToStore(store.get(), X509_ASN_ENCODING,
                                          reinterpret_cast<const BYTE*>(der.data()),
                                          DWORD(der.size()), CERT_STORE_ADD_USE_EXISTING, &context))
      return lastError();
  } else {
    *added = CertDuplicateCertificateContext(context);
  }
  HRESULT hr = S_OK;
  if (placement.request &&
      !CertSetCertificateContextProperty(context, CERT_KEY_PROV_INFO_PROP_ID, 0,
                                         placement.request->keyProvider.property()))
    hr = lastError();
  CertFreeCertificateContext(context);
  return hr;
}

}  // namespace

HRESULT install(std::string_view der, bool machine, Install mode) {
  std::vector<Certificate> certificates;
  if (HRESULT hr = certificatesOf(der, &certificates); FAILED(hr)) return hr;
  PendingRequests pending(machine);
  std::vector<Placement> placements;
  if (HRESULT hr = place(std::move(certificates), pending, mode, &placements); FAILED(hr))
    return hr;

  // Authorities first, so that a certificate never stands in "MY" without its chain.
  std::stable_partition(placements.begin(), placements.end(),
                        [](const Placement& p) { return !p.request; });
  std::vector<PCCERT_CONTEXT> added;
  HRESULT hr = S_OK;
  for (const Placement& placement : placements) {
    PCCERT_CONTEXT context = nullptr;
    hr = add(placement, machine, &context);
    if (context) added.push_back(context);
    if (FAILED(hr)) break;
  }
  // A request that cannot be ended would stay pending beside its installed certificate:
  // the installation fails then, and takes back what it added.
  if (SUCCEEDED(hr))
    for (const Placement& placement : placements)
      if (placement.request && FAILED(hr = pending.end(placement.request))) break;
  for (PCCERT_CONTEXT context : added) {
    if (FAILED(hr))
      CertDeleteCertificateFromStore(context);  // releases the context
    else
      CertFreeCertificateContext(context);
  }
  return hr;
}

}  // namespace pw::enrol
