#include "certutil.h"

#include "console.h"
#include "text.h"

#include <cstring>

namespace pwm::certutil {
namespace {

struct Verb {
  const char* name;
  int (*run)(const Options&);
  const char* usage;
};

const Verb kVerbs[] = {
    {"store", runStore, "certutil [-user] -store [STORE [CERTID]]"},
    {"addstore", runAddStore, "certutil [-f] [-user] -addstore STORE FILE"},
    {"delstore", runDelStore, "certutil [-user] -delstore STORE CERTID"},
    {"importpfx", runImportPfx,
     "certutil [-f] [-user] [-p PASSWORD] -importPFX [STORE] FILE [AT_KEYEXCHANGE|AT_SIGNATURE]"},
    {"key", runKey, "certutil [-user] -key"},
    {"delkey", runDelKey, "certutil [-user] -delkey CONTAINER"},
};

int usage(const char* problem) {
  std::string text = problem ? std::string("CertUtil: ") + problem + "\n" : std::string();
  text += "Usage:\n";
  for (const Verb& v : kVerbs) text += std::string("  pwmachine ") + v.usage + "\n";
  text += "CERTID: an index from the listing, a SHA-1 thumbprint or a serial number.\n";
  (problem ? err : out)(text);
  return problem ? 1 : 0;
}

struct Message {
  DWORD code;
  const char* name;
  const char* text;
};

const Message kMessages[] = {
    {ERROR_FILE_NOT_FOUND, "ERROR_FILE_NOT_FOUND", "The system cannot find the file specified."},
    {ERROR_ACCESS_DENIED, "ERROR_ACCESS_DENIED", "Access is denied."},
    {DWORD(E_ACCESSDENIED), "E_ACCESSDENIED", "Access is denied."},
    {ERROR_INVALID_DATA, "ERROR_INVALID_DATA", "The data is invalid."},
    {ERROR_INVALID_PASSWORD, "ERROR_INVALID_PASSWORD",
     "The specified network password is not correct."},
    {DWORD(CRYPT_E_EXISTS), "CRYPT_E_EXISTS", "The object or property already exists."},
    {DWORD(CRYPT_E_NOT_FOUND), "CRYPT_E_NOT_FOUND", "Cannot find object or property."},
    {DWORD(CRYPT_E_BAD_ENCODE), "CRYPT_E_BAD_ENCODE",
     "An error occurred during encode or decode operation."},
    {DWORD(CRYPT_E_ASN1_BADTAG), "CRYPT_E_ASN1_BADTAG", "ASN1 bad tag value met."},
    {DWORD(CRYPT_E_ASN1_EOD), "CRYPT_E_ASN1_EOD", "ASN1 unexpected end of data."},
    {DWORD(NTE_BAD_KEYSET), "NTE_BAD_KEYSET", "Keyset does not exist"},
    {DWORD(NTE_EXISTS), "NTE_EXISTS", "Object already exists."},
};

}  // namespace

DWORD storeLocation(const Options& o) {
  return o.user ? CERT_SYSTEM_STORE_CURRENT_USER : CERT_SYSTEM_STORE_LOCAL_MACHINE;
}

DWORD keySet(const Options& o) { return o.user ? 0 : CRYPT_MACHINE_KEYSET; }

int failed(const char* verb, DWORD code, const std::string& what) {
  // Win32 codes are shown as the HRESULT that carries them, as certutil does.
  DWORD hresult = code && code < 0x10000 ? 0x80070000 | code : code;
  const Message* message = nullptr;
  for (const Message& m : kMessages)
    if (m.code == code) message = &m;
  std::string text = format("CertUtil: -%s command FAILED: 0x%08lx", verb, (unsigned long)hresult);
  if (message) text += std::string(" (") + message->name + ")";
  text += "\nCertUtil: ";
  if (!what.empty()) text += what + ": ";
  text += message ? message->text : code ? "Unexpected error." : "The operation failed.";
  err(text + "\n");
  return 1;
}

int succeeded(const char* verb) {
  out(format("CertUtil: -%s command completed successfully.\n", verb));
  return 0;
}

std::string nameText(CERT_NAME_BLOB* name, DWORD type) {
  DWORD size = CertNameToStrA(X509_ASN_ENCODING, name, type, nullptr, 0);
  std::string text(size, '\0');
  CertNameToStrA(X509_ASN_ENCODING, name, type, text.data(), size);
  text.resize(std::strlen(text.c_str()));
  return text;
}

std::string thumbprint(PCCERT_CONTEXT cert) {
  BYTE hash[20];
  DWORD size = sizeof hash;
  if (!CertGetCertificateContextProperty(cert, CERT_SHA1_HASH_PROP_ID, hash, &size)) return {};
  std::string text;
  for (DWORD i = 0; i < size; ++i) text += format("%02x", hash[i]);
  return text;
}

std::string serialNumber(PCCERT_CONTEXT cert) {
  const CRYPT_INTEGER_BLOB& serial = cert->pCertInfo->SerialNumber;
  std::string text;
  for (DWORD i = serial.cbData; i-- > 0;) text += format("%02x", serial.pbData[i]);
  return text;
}

bool matches(PCCERT_CONTEXT cert, int index, const std::string& id) {
  std::string digits;
  for (char c : id)
    if (c != ' ') digits += char(std::tolower(BYTE(c)));
  if (!digits.empty() && digits.find_first_not_of("0123456789") == std::string::npos &&
      digits.size() < 10 && std::stoi(digits) == index)
    return true;
  return !digits.empty() && (digits == thumbprint(cert) || digits == serialNumber(cert));
}

int runCertutil(int argc, char** argv) {
  Options o;
  const Verb* verb = nullptr;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    bool isSwitch = arg.size() > 1 && (arg[0] == '-' || arg[0] == '/');
    std::string_view name = isSwitch ? arg.substr(1) : arg;
    if (isSwitch && (name == "?" || equalsNoCase(name, "help"))) return usage(nullptr);
    if (verb || !isSwitch) {
      if (!verb) return usage(("unexpected argument " + std::string(arg)).c_str());
      o.args.emplace_back(arg);
    } else if (equalsNoCase(name, "f")) {
      o.force = true;
    } else if (equalsNoCase(name, "user")) {
      o.user = true;
    } else if (equalsNoCase(name, "p")) {
      if (++i >= argc) return usage("-p needs a password");
      o.password = argv[i];
      o.hasPassword = true;
    } else {
      for (const Verb& v : kVerbs)
        if (equalsNoCase(name, v.name)) verb = &v;
      if (!verb) return usage(("unknown verb or switch " + std::string(arg)).c_str());
    }
  }
  if (!verb) return usage("no verb given");
  return verb->run(o);
}

}  // namespace pwm::certutil
