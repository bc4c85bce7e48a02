// The PKCS #10 request, built and signed with OpenSSL: version 1, the subject's DER as
// given (attribute order and string types kept), the container's public key, the
// extensions in one extension-request attribute, signed with SHA-256 and RSA by the
// container's private key.
#include "certenroll/enrolment.h"

#include "advapi32/key_container.h"

#include "machine/ossl.h"

namespace pw::enrol {
namespace {

using ossl::Extensions;
using ossl::Name;
using ossl::Request;

HRESULT addExtensions(X509_REQ* request, const std::vector<Extension>& wanted) {
  if (wanted.empty()) return S_OK;
  Extensions list(sk_X509_EXTENSION_new_null());
  if (!list) return E_OUTOFMEMORY;
  for (const Extension& extension : wanted) {
    ossl::Object oid(OBJ_txt2obj(extension.oid.c_str(), 1));
    ossl::OctetString value(ASN1_OCTET_STRING_new());
    ossl::Extension made;
    if (oid && value &&
        ASN1_OCTET_STRING_set(value.get(),
                              reinterpret_cast<const unsigned char*>(extension.value.data()),
                              int(extension.value.size())))
      made.reset(X509_EXTENSION_create_by_OBJ(nullptr, oid.get(), extension.critical ? 1 : 0,
                                              value.get()));
    if (!made) return oid ? E_OUTOFMEMORY : E_INVALIDARG;
    if (!sk_X509_EXTENSION_push(list.get(), made.get())) return E_OUTOFMEMORY;
    made.release();  // the list owns it now
  }
  return X509_REQ_add_extensions(request, list.get()) ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

HRESULT signRequest(const KeyParams& key, const RequestParams& contents, std::string* der) {
  crypt::Pkey pair =
      crypt::containerKeyPair(key.container, key.machine ? CRYPT_MACHINE_KEYSET : 0, key.keySpec);
  if (!pair) return NTE_BAD_KEYSET;
  const auto* subjectBytes = reinterpret_cast<const unsigned char*>(contents.subject.data());
  Name subject(d2i_X509_NAME(nullptr, &subjectBytes, long(contents.subject.size())));
  if (!subject) return CRYPT_E_BAD_ENCODE;
  Request request(X509_REQ_new());
  if (!request) return E_OUTOFMEMORY;
  if (!X509_REQ_set_version(request.get(), 0) ||
      !X509_REQ_set_subject_name(request.get(), subject.get()) ||
      !X509_REQ_set_pubkey(request.get(), pair.get()))
    return E_OUTOFMEMORY;
  if (HRESULT hr = addExtensions(request.get(), contents.extensions); FAILED(hr)) return hr;
  if (X509_REQ_sign(request.get(), pair.get(), EVP_sha256()) <= 0) return NTE_BAD_SIGNATURE;
  ossl::Bytes bytes;
  *der = bytes.take(i2d_X509_REQ(request.get(), bytes.out()));
  return der->empty() ? CRYPT_E_BAD_ENCODE : S_OK;
}

}  // namespace pw::enrol
