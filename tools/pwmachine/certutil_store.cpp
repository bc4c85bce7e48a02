// certutil -store, -addstore and -delstore.
#include "cert.h"
#include "certutil.h"
#include "console.h"
#include "file.h"
#include "text.h"

namespace pwm::certutil {
namespace {

const char* friendlyName(const std::string& store) {
  if (equalsNoCase(store, "My")) return "Personal";
  if (equalsNoCase(store, "Root")) return "Trusted Root Certification Authorities";
  if (equalsNoCase(store, "CA")) return "Intermediate Certification Authorities";
  if (equalsNoCase(store, "REQUEST")) return "Certificate Enrollment Requests";
  return nullptr;
}

win32::CertStore openStore(const Options& o, const std::string& name, bool writable) {
  DWORD flags = storeLocation(o) | (writable ? 0 : CERT_STORE_READONLY_FLAG);
  return win32::CertStore(CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, flags, name.c_str()));
}

std::string keyLines(PCCERT_CONTEXT cert) {
  DWORD size = 0;
  if (!CertGetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size))
    return "No key provider information\n";
  std::vector<ULONG_PTR> buffer(size / sizeof(ULONG_PTR) + 1);
  if (!CertGetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, buffer.data(), &size))
    return "No key provider information\n";
  auto* info = reinterpret_cast<CRYPT_KEY_PROV_INFO*>(buffer.data());
  auto wide = [](LPCWSTR s) {
    return s ? toNarrow(WStringView(s, std::char_traits<WCHAR>::length(s))) : std::string();
  };
  return "  Key Container = " + wide(info->pwszContainerName) +
         "\n  Provider = " + wide(info->pwszProvName) + "\n";
}

}  // namespace

// A FILETIME as certutil shows it: M/D/YYYY H:MM AM, in UTC.
std::string timeText(const FILETIME& t) {
  ULONGLONG ticks = (ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  long long days = (long long)(ticks / 10000000ULL / 86400ULL) - 134774;  // since 1970
  long long minutes = (long long)(ticks / 10000000ULL / 60ULL % 1440ULL);
  // Civil date from days since 1970-01-01.
  long long z = days + 719468, era = (z >= 0 ? z : z - 146096) / 146097;
  long long doe = z - era * 146097, yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100), mp = (5 * doy + 2) / 153;
  long long day = doy - (153 * mp + 2) / 5 + 1, month = mp < 10 ? mp + 3 : mp - 9;
  long long year = yoe + era * 400 + (month <= 2);
  int hour = int(minutes / 60) % 12;
  return format("%lld/%lld/%lld %d:%02d %s", month, day, year, hour ? hour : 12, int(minutes % 60),
                minutes < 720 ? "AM" : "PM");
}

std::string describe(PCCERT_CONTEXT cert, int index) {
  CERT_INFO* info = cert->pCertInfo;
  bool root = info->Issuer.cbData == info->Subject.cbData &&
              std::equal(info->Issuer.pbData, info->Issuer.pbData + info->Issuer.cbData,
                         info->Subject.pbData);
  std::string text = format("================ Certificate %d ================\n", index);
  text += "Serial Number: " + serialNumber(cert) + "\n";
  text += "Issuer: " + nameText(&info->Issuer) + "\n";
  text += " NotBefore: " + timeText(info->NotBefore) + "\n";
  text += " NotAfter: " + timeText(info->NotAfter) + "\n";
  text += "Subject: " + nameText(&info->Subject) + "\n";
  text += root ? "Root Certificate: Subject matches Issuer\n" : "Non-root Certificate\n";
  text += "Cert Hash(sha1): " + thumbprint(cert) + "\n";
  return text + keyLines(cert);
}

std::string describeVerbose(PCCERT_CONTEXT cert, int index) {
  std::string text = describe(cert, index);
  return text + extensionsText(cert->pCertInfo->rgExtension, cert->pCertInfo->cExtension);
}

int runStore(const Options& o) {
  if (o.args.size() > 2) return failed("store", ERROR_INVALID_PARAMETER, "too many arguments");
  std::string name = o.args.empty() ? "My" : o.args[0];
  win32::CertStore store = openStore(o, name, false);
  if (!store) return failed("store", GetLastError(), name);
  const char* friendly = friendlyName(name);
  std::string text = name + (friendly ? std::string(" \"") + friendly + "\"" : "") + "\n";
  int index = 0, shown = 0;
  for (PCCERT_CONTEXT c = nullptr; (c = CertEnumCertificatesInStore(store.get(), c)); ++index) {
    if (o.args.size() == 2 && !matches(c, index, o.args[1])) continue;
    text += (o.verbose ? describeVerbose(c, index) : describe(c, index)) + "\n";
    ++shown;
  }
  out(text);
  if (o.args.size() == 2 && !shown) return failed("store", DWORD(CRYPT_E_NOT_FOUND), o.args[1]);
  return succeeded("store");
}

int runAddStore(const Options& o) {
  if (o.args.size() != 2) return failed("addstore", ERROR_INVALID_PARAMETER, "STORE FILE expected");
  std::string bytes;
  if (DWORD st = readFile(o.args[1], &bytes)) return failed("addstore", st, o.args[1]);
  // PEM text or DER.
  std::string der = bytes;
  if (bytes.find("-----BEGIN") != std::string::npos) {
    DWORD size = 0;
    if (!CryptStringToBinaryA(bytes.c_str(), DWORD(bytes.size()), CRYPT_STRING_BASE64HEADER,
                              nullptr, &size, nullptr, nullptr))
      return failed("addstore", GetLastError(), o.args[1] + " holds no certificate");
    der.resize(size);
    CryptStringToBinaryA(bytes.c_str(), DWORD(bytes.size()), CRYPT_STRING_BASE64HEADER,
                         reinterpret_cast<BYTE*>(der.data()), &size, nullptr, nullptr);
    der.resize(size);
  }
  win32::CertContext cert(CertCreateCertificateContext(
      X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()), DWORD(der.size())));
  if (!cert) return failed("addstore", GetLastError(), o.args[1] + " holds no certificate");
  win32::CertStore store = openStore(o, o.args[0], true);
  if (!store) return failed("addstore", GetLastError(), o.args[0]);
  std::string subject = nameText(&cert.get()->pCertInfo->Subject, CERT_SIMPLE_NAME_STR);
  if (!CertAddCertificateContextToStore(
          store.get(), cert.get(), o.force ? CERT_STORE_ADD_REPLACE_EXISTING : CERT_STORE_ADD_NEW,
          nullptr)) {
    DWORD st = GetLastError();
    if (st != DWORD(CRYPT_E_EXISTS)) return failed("addstore", st, o.args[0]);
    out("Certificate \"" + subject + "\" already in store.\n");
    return succeeded("addstore");
  }
  if (!CertControlStore(store.get(), 0, CERT_STORE_CTRL_COMMIT, nullptr))
    return failed("addstore", GetLastError(), o.args[0]);
  out("Certificate \"" + subject + "\" added to store.\n");
  return succeeded("addstore");
}

int runDelStore(const Options& o) {
  if (o.args.size() != 2)
    return failed("delstore", ERROR_INVALID_PARAMETER, "STORE CERTID expected");
  win32::CertStore store = openStore(o, o.args[0], true);
  if (!store) return failed("delstore", GetLastError(), o.args[0]);
  int index = 0;
  for (PCCERT_CONTEXT c = nullptr; (c = CertEnumCertificatesInStore(store.get(), c)); ++index) {
    if (!matches(c, index, o.args[1])) continue;
    std::string text = describe(c, index);
    // The deletion releases the context, which the enumeration then no longer holds.
    if (!CertDeleteCertificateFromStore(c)) return failed("delstore", GetLastError(), o.args[1]);
    if (!CertControlStore(store.get(), 0, CERT_STORE_CTRL_COMMIT, nullptr))
      return failed("delstore", GetLastError(), o.args[0]);
    out(format("Deleting Certificate %d\n", index) + text);
    return succeeded("delstore");
  }
  return failed("delstore", DWORD(CRYPT_E_NOT_FOUND), o.args[1]);
}

}  // namespace pwm::certutil
