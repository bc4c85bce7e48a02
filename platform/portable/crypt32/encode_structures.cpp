// The certificate's and the request's structures: public-key information, extensions, key
// usage and enhanced key usage, basic constraints, PKCS #9 attributes, the certificate and
// the request to be signed, the signed content, and an RSA public key from its CryptoAPI
// blob. Fields pass through as the caller gives them: no bits are trimmed, no
// parameters added, except the NULL parameters of a public key's algorithm outside a
// certificate.
#include "crypt32/object_encoding.h"

#include "crypt32/der_writer.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace pw::cert {
namespace {

const DWORD kBadOid = DWORD(CRYPT_E_ASN1_ERROR);

std::string raw(const CRYPT_DATA_BLOB& blob) { return std::string(der::bytes(blob)); }

DWORD extension(const CERT_EXTENSION& e, std::string* out) {
  std::string oid;
  if (!der::objectId(e.pszObjId, &oid)) return kBadOid;
  std::string content = oid;
  if (e.fCritical) content += der::element(der::kBoolean, std::string(1, '\xff'));
  content += der::element(der::kOctetString, der::bytes(e.Value));
  *out = der::element(der::kSequence, content);
  return 0;
}

DWORD extensionList(DWORD count, const CERT_EXTENSION* list, std::string* out) {
  std::string content;
  for (DWORD i = 0; i < count; ++i) {
    std::string one;
    if (DWORD error = extension(list[i], &one)) return error;
    content += one;
  }
  *out = der::element(der::kSequence, content);
  return 0;
}

// Alone, and in a request, a key's algorithm without parameters gets NULL ones; inside a
// certificate they stay as given.
DWORD publicKey(const CERT_PUBLIC_KEY_INFO& key, bool nullWhenEmpty, std::string* out) {
  std::string algorithm;
  if (DWORD error = encodeAlgorithm(key.Algorithm, nullWhenEmpty, &algorithm)) return error;
  *out = der::element(der::kSequence, algorithm + der::bitString(key.PublicKey));
  return 0;
}

DWORD attribute(const CRYPT_ATTRIBUTE& a, std::string* out) {
  if (!a.pszObjId) return DWORD(E_INVALIDARG);
  std::string oid;
  if (!der::objectId(a.pszObjId, &oid)) return kBadOid;
  std::vector<std::string> values;
  for (DWORD i = 0; i < a.cValue; ++i) values.push_back(raw(a.rgValue[i]));
  *out = der::element(der::kSequence, oid + der::setOf(std::move(values)));
  return 0;
}

DWORD attributeSet(DWORD count, const CRYPT_ATTRIBUTE* list, std::string* out) {
  std::vector<std::string> attributes;
  for (DWORD i = 0; i < count; ++i) {
    std::string one;
    if (DWORD error = attribute(list[i], &one)) return error;
    attributes.push_back(std::move(one));
  }
  *out = der::setOf(std::move(attributes));
  return 0;
}

}  // namespace

DWORD encodeAlgorithm(const CRYPT_ALGORITHM_IDENTIFIER& algorithm, bool nullWhenEmpty,
                      std::string* out) {
  std::string oid;
  if (!der::objectId(algorithm.pszObjId, &oid)) return kBadOid;
  std::string parameters = raw(algorithm.Parameters);
  if (parameters.empty() && nullWhenEmpty) parameters = der::element(der::kNull, "");
  *out = der::element(der::kSequence, oid + parameters);
  return 0;
}

DWORD encodePublicKeyInfo(const void* info, DWORD, Encoded* out) {
  return publicKey(*static_cast<const CERT_PUBLIC_KEY_INFO*>(info), true, &out->der);
}

DWORD encodeExtensions(const void* info, DWORD, Encoded* out) {
  auto* list = static_cast<const CERT_EXTENSIONS*>(info);
  return extensionList(list->cExtension, list->rgExtension, &out->der);
}

DWORD encodeBits(const void* info, DWORD, Encoded* out) {
  out->der = der::bitString(*static_cast<const CRYPT_BIT_BLOB*>(info));
  return 0;
}

DWORD encodeEnhancedKeyUsage(const void* info, DWORD, Encoded* out) {
  auto* usage = static_cast<const CERT_ENHKEY_USAGE*>(info);
  std::string content;
  for (DWORD i = 0; i < usage->cUsageIdentifier; ++i) {
    std::string oid;
    if (!der::objectId(usage->rgpszUsageIdentifier[i], &oid)) return kBadOid;
    content += oid;
  }
  out->der = der::element(der::kSequence, content);
  return 0;
}

DWORD encodeBasicConstraints2(const void* info, DWORD, Encoded* out) {
  auto* constraints = static_cast<const CERT_BASIC_CONSTRAINTS2_INFO*>(info);
  std::string content;
  if (constraints->fCA) content += der::element(der::kBoolean, std::string(1, '\xff'));
  if (constraints->fPathLenConstraint)
    content += der::integer(int(constraints->dwPathLenConstraint));
  out->der = der::element(der::kSequence, content);
  return 0;
}

DWORD encodeAttribute(const void* info, DWORD, Encoded* out) {
  return attribute(*static_cast<const CRYPT_ATTRIBUTE*>(info), &out->der);
}

DWORD encodeAttributes(const void* info, DWORD, Encoded* out) {
  auto* list = static_cast<const CRYPT_ATTRIBUTES*>(info);
  return attributeSet(list->cAttr, list->rgAttr, &out->der);
}

// Version [0] unless version 1, serial, signature algorithm, issuer, validity, subject,
// public key, the unique identifiers [1] and [2] when given, extensions [3] when any.
DWORD encodeCertificateInfo(const void* info, DWORD, Encoded* out) {
  auto* cert = static_cast<const CERT_INFO*>(info);
  std::string content;
  if (cert->dwVersion != CERT_V1)
    content += der::element(der::context(0), der::integer(int(cert->dwVersion)));
  content += der::signedInteger(cert->SerialNumber.pbData, cert->SerialNumber.cbData);
  std::string algorithm, key, notBefore, notAfter;
  if (DWORD error = encodeAlgorithm(cert->SignatureAlgorithm, false, &algorithm)) return error;
  if (!der::choiceOfTime(cert->NotBefore, &notBefore) ||
      !der::choiceOfTime(cert->NotAfter, &notAfter))
    return DWORD(CRYPT_E_BAD_ENCODE);
  if (DWORD error = publicKey(cert->SubjectPublicKeyInfo, false, &key)) return error;
  content += algorithm + raw(cert->Issuer);
  content += der::element(der::kSequence, notBefore + notAfter);
  content += raw(cert->Subject) + key;
  auto uniqueId = [&](int n, const CRYPT_BIT_BLOB& id) {
    if (!id.cbData) return;
    std::string bits = der::bitString(id);
    bits[0] = char(der::contextPrimitive(n));
    content += bits;
  };
  uniqueId(1, cert->IssuerUniqueId);
  uniqueId(2, cert->SubjectUniqueId);
  if (cert->cExtension) {
    std::string extensions;
    if (DWORD error = extensionList(cert->cExtension, cert->rgExtension, &extensions)) return error;
    content += der::element(der::context(3), extensions);
  }
  out->der = der::element(der::kSequence, content);
  return 0;
}

// Version, subject, public key and the attributes as [0] IMPLICIT SET OF, which a request
// always carries, empty or not.
DWORD encodeRequestInfo(const void* info, DWORD, Encoded* out) {
  auto* request = static_cast<const CERT_REQUEST_INFO*>(info);
  std::string key, attributes;
  if (DWORD error = publicKey(request->SubjectPublicKeyInfo, true, &key)) return error;
  if (DWORD error = attributeSet(request->cAttribute, request->rgAttribute, &attributes))
    return error;
  attributes[0] = char(der::context(0));
  out->der = der::element(der::kSequence, der::integer(int(request->dwVersion)) +
                                              raw(request->Subject) + key + attributes);
  return 0;
}

// CryptoAPI keeps signatures little-endian: they are reversed into the DER unless the
// caller says they are in its order already.
DWORD encodeSignedContent(const void* info, DWORD flags, Encoded* out) {
  auto* content = static_cast<const CERT_SIGNED_CONTENT_INFO*>(info);
  std::string algorithm;
  if (DWORD error = encodeAlgorithm(content->SignatureAlgorithm, false, &algorithm)) return error;
  CRYPT_BIT_BLOB signature = content->Signature;
  std::string bytes = raw({signature.cbData, signature.pbData});
  if (!(flags & CRYPT_ENCODE_NO_SIGNATURE_BYTE_REVERSAL_FLAG))
    std::reverse(bytes.begin(), bytes.end());
  signature.pbData = reinterpret_cast<BYTE*>(bytes.data());
  out->der = der::element(der::kSequence,
                          raw(content->ToBeSigned) + algorithm + der::bitString(signature));
  return 0;
}

// RSA_CSP_PUBLICKEYBLOB: the PUBLICKEYBLOB (header, RSAPUBKEY, little-endian modulus) as
// the RSAPublicKey of PKCS #1.
DWORD encodeRsaPublicKey(const void* info, DWORD, Encoded* out) {
  auto* header = static_cast<const BLOBHEADER*>(info);
  if (header->bType != PUBLICKEYBLOB && header->bType != PRIVATEKEYBLOB) return DWORD(E_INVALIDARG);
  RSAPUBKEY rsa;
  std::memcpy(&rsa, header + 1, sizeof rsa);
  if (rsa.magic != 0x31415352 && rsa.magic != 0x32415352) return DWORD(E_INVALIDARG);  // RSA1, RSA2
  auto* modulus = reinterpret_cast<const BYTE*>(header + 1) + sizeof rsa;
  BYTE exponent[4];
  std::memcpy(exponent, &rsa.pubexp, 4);
  out->der = der::element(der::kSequence, der::unsignedInteger(modulus, rsa.bitlen / 8) +
                                              der::unsignedInteger(exponent, 4));
  return 0;
}

}  // namespace pw::cert
