// The PKCS #10 request: version 1, the subject's DER as given (attribute order and
// string types kept), the container's public key, the extensions in one
// extension-request attribute, signed with SHA-256 and RSA by the container's private
// key. The CertificationRequestInfo is assembled here around the parts CryptoAPI
// encodes, since Wine's crypt32 has no encoder for the whole of it.
#include "components/certenroll/asn1.h"
#include "components/certenroll/der.h"
#include "components/certenroll/enrolment.h"
#include "components/certenroll/signing_key.h"

namespace pw::enrol {
namespace {

// The request's attributes as its [0] field: the requested extensions, or none.
HRESULT attributesOf(const std::vector<Extension>& wanted, Bytes* der) {
  if (wanted.empty()) {
    *der = {der::kContext0, 0x00};
    return S_OK;
  }
  std::vector<CERT_EXTENSION> list;
  for (const Extension& e : wanted)
    list.push_back({const_cast<LPSTR>(e.oid.c_str()),
                    e.critical ? TRUE : FALSE,
                    {DWORD(e.value.size()), const_cast<BYTE*>(e.value.data())}});
  CERT_EXTENSIONS extensions{DWORD(list.size()), list.data()};
  Bytes encoded;
  if (HRESULT hr = encodeObject(X509_EXTENSIONS, &extensions, &encoded); FAILED(hr)) return hr;
  CRYPT_ATTR_BLOB value{DWORD(encoded.size()), encoded.data()};
  CRYPT_ATTRIBUTE attribute{const_cast<LPSTR>(szOID_RSA_certExtensions), 1, &value};
  CRYPT_ATTRIBUTES attributes{1, &attribute};
  if (HRESULT hr = encodeObject(PKCS_ATTRIBUTES, &attributes, der); FAILED(hr)) return hr;
  (*der)[0] = der::kContext0;  // SET OF Attribute, tagged as the request's [0]
  return S_OK;
}

}  // namespace

HRESULT signRequest(const KeyParams& key, const RequestParams& contents, Bytes* der) {
  SigningKey signer;
  if (HRESULT hr = signer.open(key); FAILED(hr)) return hr;
  Bytes publicKey, attributes;
  if (HRESULT hr = encodeObject(X509_PUBLIC_KEY_INFO, signer.publicKey(), &publicKey); FAILED(hr))
    return hr;
  if (HRESULT hr = attributesOf(contents.extensions, &attributes); FAILED(hr)) return hr;
  Bytes info = der::constructed(der::kSequence,
                                {&der::kVersion1, &contents.subject, &publicKey, &attributes});
  return signer.sign(info, der);
}

}  // namespace pw::enrol
