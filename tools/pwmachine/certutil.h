// `pwmachine certutil`: the machine's certificate stores and key containers with
// certutil's verbs, switches and listing. Stores are those of the local machine unless
// -user is given, key containers those of the machine's key set likewise. A certificate
// is named by its index in the listing, its SHA-1 thumbprint or its serial number (hex,
// blanks ignored). Exit code 0 on success, 1 on failure, with the reason on standard
// error.
#pragma once

#include <windows.h>

#include <wincrypt.h>

#include <string>
#include <vector>

namespace pwm::certutil {

struct Options {
  bool force = false;    // -f
  bool user = false;     // -user
  std::string password;  // -p
  bool hasPassword = false;
  bool verbose = false;           // -v
  std::vector<std::string> args;  // after the verb
};

int runCertutil(int argc, char** argv);

int runStore(const Options& o);
int runAddStore(const Options& o);
int runDelStore(const Options& o);
int runImportPfx(const Options& o);
int runKey(const Options& o);
int runDelKey(const Options& o);
int runDump(const Options& o);
int runError(const Options& o);

// ---- shared by the verbs ----
DWORD storeLocation(const Options& o);  // CERT_SYSTEM_STORE_LOCAL_MACHINE or _CURRENT_USER
DWORD keySet(const Options& o);         // CRYPT_MACHINE_KEYSET or 0
// Prints "CertUtil: -<verb> command FAILED: ..." with what the code means; returns 1.
int failed(const char* verb, DWORD code, const std::string& what = "");
int succeeded(const char* verb);
// The certutil listing of one certificate; with -v its extensions follow.
std::string describe(PCCERT_CONTEXT cert, int index);
std::string describeVerbose(PCCERT_CONTEXT cert, int index);
// "Certificate Extensions: N" and each extension's OID, flags, length, name and
// contents, as certutil's verbose listing and -dump show them.
std::string extensionsText(const CERT_EXTENSION* extensions, DWORD count);
// A FILETIME as certutil shows it: M/D/YYYY H:MM AM, in UTC.
std::string timeText(const FILETIME& t);
// The name and text of a Windows error code or HRESULT, when certutil knows them.
struct ErrorText {
  const char* name;
  const char* text;
};
const ErrorText* errorText(DWORD code);
// The X.500 rendering of a name ("CN=..., O=...").
std::string nameText(CERT_NAME_BLOB* name, DWORD type = CERT_X500_NAME_STR);
std::string thumbprint(PCCERT_CONTEXT cert);    // lower-case hex
std::string serialNumber(PCCERT_CONTEXT cert);  // lower-case hex, most significant first
// Does `id` name this certificate (index, thumbprint or serial number)?
bool matches(PCCERT_CONTEXT cert, int index, const std::string& id);

}  // namespace pwm::certutil
