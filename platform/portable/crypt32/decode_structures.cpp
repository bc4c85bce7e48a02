// Decoders of the certificate's parts: bits and key usage, basic constraints, enhanced key
// usage, extensions, public-key information and signed content, and the reading of the
// pieces they share (identifiers, algorithms, bit strings).
#include "crypt32/object_decoding.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

namespace pw::cert {
namespace {

constexpr BYTE kBoolean = 0x01, kInteger = 0x02, kBitString = 0x03, kOctetString = 0x04,
               kOid = 0x06, kSequence = 0x30;

DWORD notSequence(BYTE tag) { return tag == kSequence ? 0 : DWORD(CRYPT_E_ASN1_BADTAG); }

bool boolean(const Der& element) { return !element.content.empty() && element.content[0]; }

// An INTEGER that fits a DWORD, not negative.
DWORD smallNumber(const Der& element, DWORD* value) {
  std::string_view c = element.content;
  if (c.empty() || c.size() > 5 || (BYTE(c[0]) & 0x80) || (c.size() == 5 && c[0]))
    return DWORD(CRYPT_E_ASN1_LARGE);
  *value = 0;
  for (char ch : c) *value = *value << 8 | BYTE(ch);
  return 0;
}

}  // namespace

DWORD takeAny(std::string_view* in, Der* out) {
  if (in->size() < 2) return DWORD(CRYPT_E_ASN1_EOD);
  auto length = BYTE((*in)[1]);
  // An indefinite length is none DER allows; one of more than four bytes is too large.
  if (length == 0x80) return DWORD(CRYPT_E_ASN1_CORRUPT);
  if ((length & 0x80) && (length & 0x7f) > 4) return DWORD(CRYPT_E_ASN1_LARGE);
  return readDer(in, out) ? 0 : DWORD(CRYPT_E_ASN1_EOD);
}

DWORD take(std::string_view* in, BYTE tag, Der* out) {
  if (!in->empty() && BYTE((*in)[0]) != tag) return DWORD(CRYPT_E_ASN1_BADTAG);
  return takeAny(in, out);
}

DWORD readOid(std::string_view* in, Flat* out, size_t pointerField) {
  Der oid;
  if (DWORD error = take(in, kOid, &oid)) return error;
  std::string dotted = oidOf(oid.content);
  if (dotted.empty()) return DWORD(CRYPT_E_ASN1_CORRUPT);
  out->link(pointerField, out->addString(dotted));
  return 0;
}

DWORD readAlgorithm(std::string_view* in, Flat* out, size_t at) {
  Der algorithm;
  if (DWORD error = take(in, kSequence, &algorithm)) return error;
  std::string_view inside = algorithm.content;
  if (DWORD error = readOid(&inside, out, at + offsetof(CRYPT_ALGORITHM_IDENTIFIER, pszObjId)))
    return error;
  out->blob(at + offsetof(CRYPT_ALGORITHM_IDENTIFIER, Parameters), inside);
  return 0;
}

// The unused bits of the last byte come out cleared, however many the count says.
DWORD readBitString(const Der& element, Flat* out, size_t at) {
  std::string_view c = element.content;
  if (c.empty() || (c.size() == 1 && c[0])) return DWORD(CRYPT_E_ASN1_CORRUPT);
  DWORD unused = BYTE(c[0]);
  std::string bytes(c.substr(1));
  if (!bytes.empty()) bytes.back() &= char(unused < 8 ? 0xff << unused : 0);
  out->bits(at, bytes, unused);
  return 0;
}

DWORD readPublicKey(std::string_view* in, Flat* out, size_t at) {
  Der info, key;
  if (DWORD error = take(in, kSequence, &info)) return error;
  std::string_view inside = info.content;
  if (DWORD error = readAlgorithm(&inside, out, at + offsetof(CERT_PUBLIC_KEY_INFO, Algorithm)))
    return error;
  if (DWORD error = take(&inside, kBitString, &key)) return error;
  return readBitString(key, out, at + offsetof(CERT_PUBLIC_KEY_INFO, PublicKey));
}

DWORD readExtensionList(std::string_view content, Flat* out, size_t countField, size_t arrayField) {
  std::vector<Der> items;
  while (!content.empty()) {
    Der item;
    if (DWORD error = take(&content, kSequence, &item)) return error;
    items.push_back(item);
  }
  out->set(countField, DWORD(items.size()));
  if (items.empty()) return 0;
  size_t array = out->reserve(items.size() * sizeof(CERT_EXTENSION));
  out->link(arrayField, array);
  for (size_t i = 0; i < items.size(); ++i) {
    size_t at = array + i * sizeof(CERT_EXTENSION);
    std::string_view inside = items[i].content;
    if (DWORD error = readOid(&inside, out, at + offsetof(CERT_EXTENSION, pszObjId))) return error;
    Der element;
    if (DWORD error = takeAny(&inside, &element)) return error;
    if (element.tag == kBoolean) {
      out->set(at + offsetof(CERT_EXTENSION, fCritical), BOOL(boolean(element)));
      if (DWORD error = takeAny(&inside, &element)) return error;
    }
    if (element.tag != kOctetString) return DWORD(CRYPT_E_ASN1_BADTAG);
    out->blob(at + offsetof(CERT_EXTENSION, Value), element.content);
  }
  return 0;
}

DWORD decodeBits(std::string_view der, DWORD, Flat* out) {
  Der bits;
  if (DWORD error = take(&der, kBitString, &bits)) return error;
  return readBitString(bits, out, out->reserve(sizeof(CRYPT_BIT_BLOB)));
}

DWORD decodeBasicConstraints2(std::string_view der, DWORD, Flat* out) {
  Der sequence, element;
  if (DWORD error = take(&der, kSequence, &sequence)) return error;
  CERT_BASIC_CONSTRAINTS2_INFO info{};
  std::string_view inside = sequence.content;
  if (!inside.empty() && BYTE(inside[0]) == kBoolean) {
    if (DWORD error = takeAny(&inside, &element)) return error;
    info.fCA = boolean(element);
  }
  if (!inside.empty()) {
    if (DWORD error = take(&inside, kInteger, &element)) return error;
    if (DWORD error = smallNumber(element, &info.dwPathLenConstraint)) return error;
    info.fPathLenConstraint = TRUE;
  }
  out->addStruct(info);
  return 0;
}

DWORD decodeEnhancedKeyUsage(std::string_view der, DWORD, Flat* out) {
  Der sequence;
  if (DWORD error = take(&der, kSequence, &sequence)) return error;
  std::vector<std::string> oids;
  for (std::string_view inside = sequence.content; !inside.empty();) {
    Der oid;
    if (DWORD error = take(&inside, kOid, &oid)) return error;
    oids.push_back(oidOf(oid.content));
    if (oids.back().empty()) return DWORD(CRYPT_E_ASN1_CORRUPT);
  }
  size_t at = out->reserve(sizeof(CERT_ENHKEY_USAGE));
  out->set(at + offsetof(CERT_ENHKEY_USAGE, cUsageIdentifier), DWORD(oids.size()));
  if (oids.empty()) return 0;
  size_t array = out->reserve(oids.size() * sizeof(LPSTR));
  out->link(at + offsetof(CERT_ENHKEY_USAGE, rgpszUsageIdentifier), array);
  for (size_t i = 0; i < oids.size(); ++i)
    out->link(array + i * sizeof(LPSTR), out->addString(oids[i]));
  return 0;
}

DWORD decodeExtensions(std::string_view der, DWORD, Flat* out) {
  Der sequence;
  if (DWORD error = take(&der, kSequence, &sequence)) return error;
  size_t at = out->reserve(sizeof(CERT_EXTENSIONS));
  return readExtensionList(sequence.content, out, at + offsetof(CERT_EXTENSIONS, cExtension),
                           at + offsetof(CERT_EXTENSIONS, rgExtension));
}

DWORD decodePublicKeyInfo(std::string_view der, DWORD, Flat* out) {
  return readPublicKey(&der, out, out->reserve(sizeof(CERT_PUBLIC_KEY_INFO)));
}

// The signature comes out little-endian, as CryptoAPI keeps it, unless the caller asks for
// the DER's order.
DWORD decodeSignedContent(std::string_view der, DWORD flags, Flat* out) {
  Der whole, toBeSigned, signature;
  if (DWORD error = take(&der, kSequence, &whole)) return error;
  std::string_view inside = whole.content;
  size_t at = out->reserve(sizeof(CERT_SIGNED_CONTENT_INFO));
  if (DWORD error = takeAny(&inside, &toBeSigned)) return error;
  if (DWORD error = notSequence(toBeSigned.tag)) return error;
  out->blob(at + offsetof(CERT_SIGNED_CONTENT_INFO, ToBeSigned), toBeSigned.whole);
  if (DWORD error =
          readAlgorithm(&inside, out, at + offsetof(CERT_SIGNED_CONTENT_INFO, SignatureAlgorithm)))
    return error;
  if (DWORD error = take(&inside, kBitString, &signature)) return error;
  std::string_view c = signature.content;
  if (c.empty()) return DWORD(CRYPT_E_ASN1_CORRUPT);
  std::string bytes(c.substr(1));
  if (!(flags & CRYPT_DECODE_NO_SIGNATURE_BYTE_REVERSAL_FLAG))
    std::reverse(bytes.begin(), bytes.end());
  out->bits(at + offsetof(CERT_SIGNED_CONTENT_INFO, Signature), bytes, BYTE(c[0]));
  return 0;
}

}  // namespace pw::cert
