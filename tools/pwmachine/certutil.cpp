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
    {"store", runStore, "certutil [-v] [-user] -store [STORE [CERTID]]"},
    {"addstore", runAddStore, "certutil [-f] [-user] -addstore STORE FILE"},
    {"delstore", runDelStore, "certutil [-user] -delstore STORE CERTID"},
    {"importpfx", runImportPfx,
     "certutil [-f] [-user] [-p PASSWORD] -importPFX [STORE] FILE [AT_KEYEXCHANGE|AT_SIGNATURE]"},
    {"key", runKey, "certutil [-user] -key"},
    {"delkey", runDelKey, "certutil [-user] -delkey CONTAINER"},
    {"dump", runDump, "certutil -dump FILE"},
    {"error", runError, "certutil -error CODE"},
};

int help(const Verb* only) {
  std::string text = "Usage:\n";
  for (const Verb& v : kVerbs)
    if (!only || only == &v) text += std::string("  pwmachine ") + v.usage + "\n";
  text +=
      "CERTID: an index from the listing, a SHA-1 thumbprint or a serial number.\n"
      "-v: -store lists each certificate's extensions too.\n";
  out(text);
  return 0;
}

// One line on what was wrong, and where the usage is.
int usageError(const std::string& problem) {
  err("CertUtil: " + problem + "\nType \"pwmachine certutil --help\" for usage.\n");
  return 1;
}

}  // namespace

DWORD storeLocation(const Options& o) {
  return o.user ? CERT_SYSTEM_STORE_CURRENT_USER : CERT_SYSTEM_STORE_LOCAL_MACHINE;
}

DWORD keySet(const Options& o) { return o.user ? 0 : CRYPT_MACHINE_KEYSET; }

int failed(const char* verb, DWORD code, const std::string& what) {
  // Win32 codes are shown as the HRESULT that carries them, as certutil does.
  DWORD hresult = code && code < 0x10000 ? 0x80070000 | code : code;
  const ErrorText* message = errorText(code);
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
    if (isHelpSwitch(arg) || (isSwitch && equalsNoCase(name, "help"))) return help(verb);
    // As with certutil, the switches may follow the verb too (-store -v My); anything
    // else after the verb is its argument, a path that begins with '/' included.
    bool option = arg.size() > 1 && arg[0] == '-' &&
                  (equalsNoCase(name, "f") || equalsNoCase(name, "user") ||
                   equalsNoCase(name, "v") || equalsNoCase(name, "p"));
    if (!isSwitch && !verb) return usageError("unexpected argument " + std::string(arg));
    if (verb && !option) {
      o.args.emplace_back(arg);
    } else if (equalsNoCase(name, "f")) {
      o.force = true;
    } else if (equalsNoCase(name, "user")) {
      o.user = true;
    } else if (equalsNoCase(name, "v")) {
      o.verbose = true;
    } else if (equalsNoCase(name, "p")) {
      if (++i >= argc) return usageError("-p needs a password");
      o.password = argv[i];
      o.hasPassword = true;
    } else {
      for (const Verb& v : kVerbs)
        if (equalsNoCase(name, v.name)) verb = &v;
      if (!verb) return usageError("unknown verb or switch " + std::string(arg));
    }
  }
  if (!verb) return usageError("no verb given");
  return verb->run(o);
}

}  // namespace pwm::certutil
