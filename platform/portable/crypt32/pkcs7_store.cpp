// The PKCS #7 store: the certificates a SignedData message carries, as an authority
// answers a request (often with no signer at all), opened as a memory store that holds
// them, each added as the message gives it. The message's CRLs and signers are not kept.
#include "crypt32/cert_objects.h"
#include "crypt32/object_decoding.h"

#include <string_view>
#include <vector>

namespace pw::cert {
namespace {

constexpr BYTE kInteger = 0x02, kOid = 0x06, kSequence = 0x30, kSet = 0x31, kExplicitContent = 0xa0,
               kCertificates = 0xa0, kCrls = 0xa1;

// The encoded certificates of a ContentInfo holding SignedData; 0 or the error the open
// fails with: an ASN.1 error for bytes that are no ContentInfo, CRYPT_E_INVALID_MSG_TYPE
// for a message of another content type.
DWORD messageCertificates(std::string_view der, std::vector<std::string_view>* out) {
  Der contentInfo, type, wrapped, signedData, element;
  if (DWORD error = take(&der, kSequence, &contentInfo)) return error;
  std::string_view inside = contentInfo.content;
  if (DWORD error = take(&inside, kOid, &type)) return error;
  if (oidOf(type.content) != szOID_RSA_signedData) return DWORD(CRYPT_E_INVALID_MSG_TYPE);
  if (DWORD error = take(&inside, kExplicitContent, &wrapped)) return error;
  inside = wrapped.content;
  if (DWORD error = take(&inside, kSequence, &signedData)) return error;
  inside = signedData.content;
  if (DWORD error = take(&inside, kInteger, &element)) return error;   // version
  if (DWORD error = take(&inside, kSet, &element)) return error;       // digest algorithms
  if (DWORD error = take(&inside, kSequence, &element)) return error;  // the signed content
  if (!inside.empty() && BYTE(inside[0]) == kCertificates) {
    if (DWORD error = takeAny(&inside, &element)) return error;
    for (std::string_view list = element.content; !list.empty();) {
      Der certificate;
      if (DWORD error = takeAny(&list, &certificate)) return error;
      out->push_back(certificate.whole);
    }
  }
  if (!inside.empty() && BYTE(inside[0]) == kCrls)
    if (DWORD error = takeAny(&inside, &element)) return error;
  return take(&inside, kSet, &element);  // the signers
}

}  // namespace

HCERTSTORE openMessageStore(const void* para) {
  if (!para) {
    SetLastError(DWORD(E_INVALIDARG));
    return nullptr;
  }
  const auto* blob = static_cast<const CRYPT_DATA_BLOB*>(para);
  std::string_view der(reinterpret_cast<const char*>(blob->pbData),
                       blob->pbData ? blob->cbData : 0);
  std::vector<std::string_view> certificates;
  if (DWORD error = messageCertificates(der, &certificates)) {
    SetLastError(error);
    return nullptr;
  }
  NewStore store;
  for (std::string_view certificate : certificates) {
    auto context = decodeCertificate(reinterpret_cast<const BYTE*>(certificate.data()),
                                     DWORD(certificate.size()));
    if (!context) return nullptr;  // with decodeCertificate's error
    addMember(*store, std::move(context));
  }
  SetLastError(ERROR_SUCCESS);
  return store.keep();
}

}  // namespace pw::cert
