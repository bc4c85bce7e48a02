// certutil -dump FILE, and the extension listing that -dump and -store -v share: a
// certificate or PKCS #10 request, DER or PEM, shown field by field as certutil's
// dump lays it out.
#include "cert.h"  // src/win32
#include "certutil.h"
#include "console.h"
#include "der.h"
#include "file.h"
#include "text.h"

namespace pwm::certutil {
namespace {

struct Name {
  const char* oid;
  const char* name;
};

// The names certutil gives the object identifiers a gateway certificate carries.
const Name kNames[] = {
    {"1.2.840.113549.1.1.1", "RSA"},
    {"1.2.840.113549.1.1.4", "md5RSA"},
    {"1.2.840.113549.1.1.5", "sha1RSA"},
    {"1.2.840.113549.1.1.11", "sha256RSA"},
    {"1.2.840.113549.1.1.12", "sha384RSA"},
    {"1.2.840.113549.1.1.13", "sha512RSA"},
    {"1.2.840.10045.2.1", "ECC"},
    {"1.2.840.10045.4.3.2", "sha256ECDSA"},
    {"1.2.840.113549.1.9.14", "Certificate Extensions"},
    {"2.5.29.14", "Subject Key Identifier"},
    {"2.5.29.15", "Key Usage"},
    {"2.5.29.17", "Subject Alternative Name"},
    {"2.5.29.19", "Basic Constraints"},
    {"2.5.29.31", "CRL Distribution Points"},
    {"2.5.29.32", "Certificate Policies"},
    {"2.5.29.35", "Authority Key Identifier"},
    {"2.5.29.37", "Enhanced Key Usage"},
    {"1.3.6.1.5.5.7.1.1", "Authority Information Access"},
    {"1.3.6.1.5.5.7.3.1", "Server Authentication"},
    {"1.3.6.1.5.5.7.3.2", "Client Authentication"},
    {"1.3.6.1.5.5.7.3.3", "Code Signing"},
    {"1.3.6.1.5.5.7.3.4", "Secure Email"},
    {"1.3.6.1.5.5.7.3.8", "Time Stamping"},
    {"1.3.6.1.5.5.7.3.9", "OCSP Signing"},
};

const char* oidName(const std::string& oid) {
  for (const Name& n : kNames)
    if (oid == n.oid) return n.name;
  return nullptr;
}

std::string hex(std::string_view bytes, const char* between = "") {
  std::string text;
  for (size_t i = 0; i < bytes.size(); ++i)
    text += format("%s%02x", i ? between : "", unsigned(BYTE(bytes[i])));
  return text;
}

std::string view(const CRYPT_DATA_BLOB& blob) {
  return std::string(reinterpret_cast<const char*>(blob.pbData), blob.cbData);
}

// Lines of 16 bytes, each with its offset, as certutil dumps what it cannot read.
std::string hexDump(std::string_view bytes, const char* indent) {
  std::string text;
  for (size_t at = 0; at < bytes.size(); at += 16)
    text += format("%s%04lx  ", indent, (unsigned long)at) + hex(bytes.substr(at, 16), " ") + "\n";
  return text;
}

std::string algorithm(const char* title, const std::string& oid) {
  const char* name = oidName(oid);
  return std::string(title) + ":\n    Algorithm ObjectId: " + oid + (name ? " " : "") +
         (name ? name : "") + "\n";
}

const char* const kKeyUsages[] = {"Digital Signature",
                                  "Non-Repudiation",
                                  "Key Encipherment",
                                  "Data Encipherment",
                                  "Key Agreement",
                                  "Certificate Signing",
                                  "Off-line CRL Signing, CRL Signing",
                                  "Encipher Only"};

// What an extension holds, in certutil's words; false when this reader cannot say.
bool contents(const std::string& oid, std::string_view value, std::string* text) {
  der::Element top;
  std::vector<der::Element> items;
  if (!der::read(value, &top)) return false;
  const char* indent = "        ";
  if (oid == "2.5.29.37" && top.tag == der::kSequence && der::children(top.content, &items)) {
    for (const der::Element& e : items) {
      std::string id = der::oid(e.content);
      if (e.tag != der::kOid || id.empty()) return false;
      const char* name = oidName(id);
      *text += indent + (name ? std::string(name) + " (" + id + ")" : id) + "\n";
    }
    return true;
  }
  if (oid == "2.5.29.15" && top.tag == der::kBitString && top.content.size() >= 2) {
    std::string_view bits = top.content.substr(1);
    std::string names;
    for (int bit = 0; bit < 8; ++bit)
      if (BYTE(bits[0]) & (0x80 >> bit))
        names += (names.empty() ? "" : ", ") + std::string(kKeyUsages[bit]);
    if (bits.size() > 1 && (BYTE(bits[1]) & 0x80))
      names += (names.empty() ? "" : ", ") + std::string("Decipher Only");
    *text += indent + names + " (" + hex(bits, " ") + ")\n";
    return true;
  }
  if (oid == "2.5.29.19" && top.tag == der::kSequence && der::children(top.content, &items)) {
    bool ca = !items.empty() && items[0].tag == der::kBoolean && items[0].content == "\xff";
    std::string length = "None";
    if (!items.empty() && items.back().tag == der::kInteger && items.back().content.size() <= 4) {
      unsigned long n = 0;
      for (char c : items.back().content) n = (n << 8) | BYTE(c);
      length = std::to_string(n);
    }
    *text += std::string(indent) + "Subject Type=" + (ca ? "CA" : "End Entity") + "\n" + indent +
             "Path Length Constraint=" + length + "\n";
    return true;
  }
  if (oid == "2.5.29.14" && top.tag == der::kOctetString) {
    *text += indent + hex(top.content) + "\n";
    return true;
  }
  if (oid == "2.5.29.35" && top.tag == der::kSequence && der::children(top.content, &items)) {
    for (const der::Element& e : items)
      if (e.tag == der::kContext0Primitive) *text += indent + ("KeyID=" + hex(e.content)) + "\n";
    return true;
  }
  return false;
}

// A request's attributes; the extension request among them is shown like a
// certificate's extensions.
std::string attributesText(std::string_view attributes) {
  std::vector<der::Element> list, parts, values, extensions;
  if (!der::children(attributes, &list)) return "Request Attributes: unreadable\n";
  std::string text = format("Request Attributes: %lu\n", (unsigned long)list.size());
  for (size_t i = 0; i < list.size(); ++i) {
    if (!der::children(list[i].content, &parts) || parts.size() != 2 ||
        !der::children(parts[1].content, &values))
      return text + "  unreadable attribute\n";
    std::string oid = der::oid(parts[0].content);
    const char* name = oidName(oid);
    text += format("  Attribute[%lu]: ", (unsigned long)i) + oid +
            (name ? std::string(" (") + name + ")" : "") + "\n";
    if (oid != "1.2.840.113549.1.9.14" || values.size() != 1 ||
        !der::children(values[0].content, &extensions)) {
      for (const der::Element& v : values) text += hexDump(v.whole, "    ");
      continue;
    }
    // Extension ::= SEQUENCE { extnID, critical BOOLEAN DEFAULT FALSE, extnValue }
    std::vector<CERT_EXTENSION> decoded;
    std::vector<std::string> oids;
    oids.reserve(extensions.size());
    for (const der::Element& e : extensions) {
      std::vector<der::Element> fields;
      if (!der::children(e.content, &fields) || fields.size() < 2) return text + "    unreadable\n";
      oids.push_back(der::oid(fields[0].content));
      CERT_EXTENSION ext{};
      ext.pszObjId = oids.back().data();
      ext.fCritical = fields.size() == 3 && fields[1].content == "\xff";
      ext.Value.cbData = DWORD(fields.back().content.size());
      ext.Value.pbData = reinterpret_cast<BYTE*>(const_cast<char*>(fields.back().content.data()));
      decoded.push_back(ext);
    }
    text += extensionsText(decoded.data(), DWORD(decoded.size()));
  }
  return text;
}

std::string publicKeyText(const std::string& algorithmOid, std::string_view key) {
  std::string text = algorithm("Public Key Algorithm", algorithmOid);
  der::Element rsa;
  std::vector<der::Element> numbers;
  // An RSA key is SEQUENCE { modulus, exponent }: its length is the modulus's.
  if (algorithmOid == "1.2.840.113549.1.1.1" && der::read(key, &rsa) &&
      der::children(rsa.content, &numbers) && numbers.size() == 2)
    text += format("Public Key Length: %lu bits\n",
                   (unsigned long)der::integerBits(numbers[0].content));
  return text;
}

std::string certificateText(PCCERT_CONTEXT cert) {
  CERT_INFO* info = cert->pCertInfo;
  std::string text = "X509 Certificate:\n";
  text += format("Version: %lu\n", (unsigned long)info->dwVersion + 1);
  text += "Serial Number: " + serialNumber(cert) + "\n";
  text += algorithm("Signature Algorithm", info->SignatureAlgorithm.pszObjId);
  text += "Issuer:\n    " + nameText(&info->Issuer) + "\n\n";
  text += " NotBefore: " + timeText(info->NotBefore) + "\n";
  text += " NotAfter: " + timeText(info->NotAfter) + "\n\n";
  text += "Subject:\n    " + nameText(&info->Subject) + "\n\n";
  const CRYPT_BIT_BLOB& key = info->SubjectPublicKeyInfo.PublicKey;
  text += publicKeyText(info->SubjectPublicKeyInfo.Algorithm.pszObjId,
                        std::string_view(reinterpret_cast<const char*>(key.pbData), key.cbData));
  text += extensionsText(info->rgExtension, info->cExtension);
  bool root = info->Issuer.cbData == info->Subject.cbData &&
              std::equal(info->Issuer.pbData, info->Issuer.pbData + info->Issuer.cbData,
                         info->Subject.pbData);
  text += root ? "Root Certificate: Subject matches Issuer\n" : "Non-root Certificate\n";
  return text + "Cert Hash(sha1): " + thumbprint(cert) + "\n";
}

// CertificationRequest ::= SEQUENCE { CertificationRequestInfo, signatureAlgorithm,
// signature }; the info is SEQUENCE { version, subject, subjectPKInfo, [0] attributes }.
bool requestText(std::string_view der_, std::string* text) {
  der::Element top, info;
  std::vector<der::Element> parts, fields, keyInfo, algorithmId, signatureAlgorithm;
  if (!der::read(der_, &top) || top.whole.size() != der_.size() ||
      !der::children(top.content, &parts) || parts.size() != 3 ||
      !der::children(parts[0].content, &fields) || fields.size() != 4 ||
      fields[0].tag != der::kInteger || fields[3].tag != der::kContext0 ||
      !der::children(fields[2].content, &keyInfo) || keyInfo.size() != 2 ||
      !der::children(keyInfo[0].content, &algorithmId) || algorithmId.empty() ||
      !der::children(parts[1].content, &signatureAlgorithm) || signatureAlgorithm.empty())
    return false;
  unsigned long version = fields[0].content.size() == 1 ? BYTE(fields[0].content[0]) + 1 : 0;
  CERT_NAME_BLOB subject{DWORD(fields[1].whole.size()),
                         reinterpret_cast<BYTE*>(const_cast<char*>(fields[1].whole.data()))};
  std::string_view key =
      keyInfo[1].content.empty() ? keyInfo[1].content : keyInfo[1].content.substr(1);
  *text = "PKCS10 Certificate Request:\n";
  *text += format("Version: %lu\n", version);
  *text += "Subject:\n    " + nameText(&subject) + "\n\n";
  *text += publicKeyText(der::oid(algorithmId[0].content), key);
  *text += attributesText(fields[3].content);
  *text += algorithm("Signature Algorithm", der::oid(signatureAlgorithm[0].content));
  return true;
}

// DER, PEM, or the bare base64 that pwexe's 'Q' leaves in the registry.
std::string binary(const std::string& bytes) {
  if (bytes.empty() || BYTE(bytes[0]) == der::kSequence) return bytes;
  for (DWORD format : {DWORD(CRYPT_STRING_BASE64HEADER), DWORD(CRYPT_STRING_BASE64)}) {
    DWORD size = 0;
    if (!CryptStringToBinaryA(bytes.c_str(), DWORD(bytes.size()), format, nullptr, &size, nullptr,
                              nullptr))
      continue;
    std::string out(size, '\0');
    if (CryptStringToBinaryA(bytes.c_str(), DWORD(bytes.size()), format,
                             reinterpret_cast<BYTE*>(out.data()), &size, nullptr, nullptr)) {
      out.resize(size);
      return out;
    }
  }
  return bytes;
}

}  // namespace

std::string extensionsText(const CERT_EXTENSION* extensions, DWORD count) {
  std::string text = format("Certificate Extensions: %lu\n", (unsigned long)count);
  for (DWORD i = 0; i < count; ++i) {
    const CERT_EXTENSION& e = extensions[i];
    std::string oid = e.pszObjId ? e.pszObjId : "";
    text += "    " + oid +
            format(": Flags = %s, Length = %lx\n", e.fCritical ? "1(Critical)" : "0",
                   (unsigned long)e.Value.cbData);
    const char* name = oidName(oid);
    if (name) text += std::string("    ") + name + "\n";
    std::string value = view(e.Value), shown;
    text += contents(oid, value, &shown) ? shown : hexDump(value, "        ");
    text += "\n";
  }
  return text;
}

int runDump(const Options& o) {
  if (o.args.size() != 1) return failed("dump", ERROR_INVALID_PARAMETER, "FILE expected");
  std::string bytes;
  if (DWORD st = readFile(o.args[0], &bytes)) return failed("dump", st, o.args[0]);
  std::string der_ = binary(bytes), text;
  win32::CertContext cert(CertCreateCertificateContext(
      X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der_.data()), DWORD(der_.size())));
  if (cert)
    text = certificateText(cert.get());
  else if (!requestText(der_, &text))
    return failed("dump", DWORD(CRYPT_E_ASN1_BADTAG),
                  o.args[0] + " holds no certificate and no certificate request");
  out(text);
  return succeeded("dump");
}

}  // namespace pwm::certutil
