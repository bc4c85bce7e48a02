// Conformance probe for RSA key pairs in named key containers: import of a
// PRIVATEKEYBLOB made by `openssl rsa -outform MSBLOB`, export, key generation, key
// parameters, container enumeration and deletion, in the machine's key set and the
// user's. Each case prints one line; the outputs under Wine and the portable platform
// must be identical.
//
// Usage: key_probe PRIVATEKEYBLOB-HEX
#include <windows.h>

#include <wincrypt.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "probe_text.h"

namespace {

using namespace probe;  // hex, unhex, Bytes

const char* kImported = "pw-key-probe-imported";
const char* kGenerated = "pw-key-probe-generated";
const char* kShared = "pw-key-probe-shared";

BOOL acquire(HCRYPTPROV* prov, const char* container, DWORD flags) {
  return CryptAcquireContextA(prov, container, MS_DEF_PROV_A, PROV_RSA_FULL, flags);
}

// Size query, then the export itself; prints the size and the blob.
Bytes exportKey(const std::string& name, HCRYPTKEY key, DWORD type) {
  DWORD size = 0;
  BOOL ok = CryptExportKey(key, 0, type, 0, nullptr, &size);
  line(name + " size", ok, "size=" + std::to_string(size));
  if (!ok) return {};
  Bytes blob(size + 16);
  DWORD shortSize = size - 1;
  ok = CryptExportKey(key, 0, type, 0, blob.data(), &shortSize);
  line(name + " short", ok, "size=" + std::to_string(shortSize));
  ok = CryptExportKey(key, 0, type, 0, blob.data(), &size);
  blob.resize(ok ? size : 0);
  line(name, ok, "blob=" + hex(blob.data(), blob.size()));
  return blob;
}

void keyParams(const std::string& name, HCRYPTKEY key) {
  for (auto [param, label] : {std::pair{DWORD(KP_ALGID), "algid"},
                              {DWORD(KP_KEYLEN), "keylen"},
                              {DWORD(KP_PERMISSIONS), "permissions"}}) {
    DWORD value = 0, size = sizeof value;
    BOOL ok = CryptGetKeyParam(key, param, reinterpret_cast<BYTE*>(&value), &size, 0);
    line(name + " " + label, ok, ok ? std::to_string(value) : "");
  }
}

void importCases(Bytes blob, DWORD keySet, const std::string& set) {
  HCRYPTPROV prov = 0;
  HCRYPTKEY key = 0;
  acquire(&prov, kImported, keySet | CRYPT_DELETEKEYSET);  // a leftover of an interrupted run
  line(set + " create", acquire(&prov, kImported, keySet | CRYPT_NEWKEYSET));
  line(set + " exchange key of empty container", CryptGetUserKey(prov, AT_KEYEXCHANGE, &key));

  line(set + " import exchange pair",
       CryptImportKey(prov, blob.data(), DWORD(blob.size()), 0, 0, &key));
  keyParams(set + " imported", key);
  exportKey(set + " export public", key, PUBLICKEYBLOB);
  exportKey(set + " export private, not exportable", key, PRIVATEKEYBLOB);
  CryptDestroyKey(key);

  Bytes sign = blob;
  ALG_ID alg = CALG_RSA_SIGN;
  std::memcpy(&sign[4], &alg, sizeof alg);
  line(set + " import signature pair, exportable",
       CryptImportKey(prov, sign.data(), DWORD(sign.size()), 0, CRYPT_EXPORTABLE, &key));
  keyParams(set + " signature", key);
  Bytes back = exportKey(set + " export private", key, PRIVATEKEYBLOB);
  line(set + " exported private equals imported", back == sign);
  CryptDestroyKey(key);
  line(set + " release", CryptReleaseContext(prov, 0));

  // The pairs outlive the context.
  line(set + " reopen", acquire(&prov, kImported, keySet));
  line(set + " exchange key after reopen", CryptGetUserKey(prov, AT_KEYEXCHANGE, &key));
  CryptDestroyKey(key);
  line(set + " signature key after reopen", CryptGetUserKey(prov, AT_SIGNATURE, &key));
  CryptDestroyKey(key);
  line(set + " other key spec", CryptGetUserKey(prov, 3, &key));
  CryptReleaseContext(prov, 0);
}

void badBlobCases(const Bytes& blob) {
  HCRYPTPROV prov = 0;
  HCRYPTKEY key = 0;
  if (!acquire(&prov, nullptr, CRYPT_VERIFYCONTEXT)) return;
  // Windows documents NTE_BAD_VER for a blob of another version; Wine 8 answers
  // NTE_BAD_DATA. The portable provider follows Windows, so only the failure is compared.
  Bytes version = blob;
  version[1] = 3;
  BOOL ok = CryptImportKey(prov, version.data(), DWORD(version.size()), 0, 0, &key);
  std::printf("import blob version 3: ret=%d\n", ok ? 1 : 0);
  Bytes type = blob;
  type[0] = 0x9;
  line("import blob type 9", CryptImportKey(prov, type.data(), DWORD(type.size()), 0, 0, &key));
  line("import blob header only", CryptImportKey(prov, blob.data(), 8, 0, 0, &key));
  Bytes magic = blob;
  magic[8] = 'X';
  line("import blob bad magic",
       CryptImportKey(prov, magic.data(), DWORD(magic.size()), 0, 0, &key));
  line("import into verify context",
       CryptImportKey(prov, blob.data(), DWORD(blob.size()), 0, 0, &key));
  exportKey("verify context export public", key, PUBLICKEYBLOB);
  CryptDestroyKey(key);
  line("generate key length 100", CryptGenKey(prov, AT_SIGNATURE, 100 << 16, &key));
  line("generate rc4 id", CryptGenKey(prov, 0x6602 + 1, 0, &key));
  CryptReleaseContext(prov, 0);
}

void generateCases() {
  HCRYPTPROV prov = 0;
  HCRYPTKEY key = 0;
  acquire(&prov, kGenerated, CRYPT_DELETEKEYSET);
  line("user create", acquire(&prov, kGenerated, CRYPT_NEWKEYSET));
  line("generate signature 1024", CryptGenKey(prov, AT_SIGNATURE, 1024 << 16, &key));
  keyParams("generated", key);
  DWORD size = 0;
  BOOL ok = CryptExportKey(key, 0, PUBLICKEYBLOB, 0, nullptr, &size);
  line("generated public size", ok, std::to_string(size));
  CryptDestroyKey(key);
  line("generated exchange key", CryptGetUserKey(prov, AT_KEYEXCHANGE, &key));
  line("generated signature key", CryptGetUserKey(prov, AT_SIGNATURE, &key));
  CryptDestroyKey(key);
  CryptReleaseContext(prov, 0);
}

// The probe's own containers among those a key set lists.
void enumerate(DWORD keySet, const std::string& set) {
  HCRYPTPROV prov = 0;
  if (!acquire(&prov, nullptr, CRYPT_VERIFYCONTEXT | keySet)) return;
  char name[512];
  std::string found;
  for (DWORD flags = CRYPT_FIRST;; flags = CRYPT_NEXT) {
    DWORD size = sizeof name;
    if (!CryptGetProvParam(prov, PP_ENUMCONTAINERS, reinterpret_cast<BYTE*>(name), &size, flags)) {
      line(set + " enumeration end", FALSE);
      break;
    }
    if (std::strncmp(name, "pw-key-probe", 12) == 0) found += std::string(" ") + name;
  }
  std::printf("%s containers:%s\n", set.c_str(), found.c_str());
  CryptReleaseContext(prov, 0);
}

void deleteCases(DWORD keySet, const std::string& set, const char* container) {
  HCRYPTPROV prov = 0;
  line(set + " delete " + container, acquire(&prov, container, keySet | CRYPT_DELETEKEYSET));
  line(set + " open deleted", acquire(&prov, container, keySet));
}

// The three full RSA providers by their names, in any case, and the type's default: the
// name each context reports and the default lengths of its keys; a container made
// through one provider is opened through the others. Two names stay out of the
// comparison: the type's default is the strong provider on Windows and the enhanced one
// under Wine 8 (their keys' default lengths agree), and Wine 8 reports a name given in
// other letters as it was given.
void providerCases() {
  const char* names[] = {MS_DEF_PROV_A,
                         MS_ENHANCED_PROV_A,
                         MS_STRONG_PROV_A,
                         nullptr,
                         "microsoft enhanced cryptographic provider v1.0",
                         "Microsoft Unknown Cryptographic Provider"};
  for (const char* name : names) {
    std::string label = std::string("provider ") + (name ? name : "(default)");
    HCRYPTPROV prov = 0;
    BOOL ok = CryptAcquireContextA(&prov, nullptr, name, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT);
    char reported[128] = "";
    DWORD size = sizeof reported;
    if (ok) ok = CryptGetProvParam(prov, PP_NAME, reinterpret_cast<BYTE*>(reported), &size, 0);
    bool compared = false;
    for (const char* canonical : {MS_DEF_PROV_A, MS_ENHANCED_PROV_A, MS_STRONG_PROV_A})
      compared = compared || (name && std::strcmp(name, canonical) == 0);
    line(label, ok, compared ? reported : "");
    if (!prov) continue;
    HCRYPTKEY key = 0;
    DWORD bits = 0;
    size = sizeof bits;
    ok = CryptGenKey(prov, AT_SIGNATURE, 0, &key) &&
         CryptGetKeyParam(key, KP_KEYLEN, reinterpret_cast<BYTE*>(&bits), &size, 0);
    line(label + " rsa default", ok, std::to_string(bits));
    if (key) CryptDestroyKey(key);
    HCRYPTHASH hash = 0;
    key = 0;
    bits = 0;
    size = sizeof bits;
    ok = CryptCreateHash(prov, CALG_MD5, 0, 0, &hash) &&
         CryptHashData(hash, reinterpret_cast<const BYTE*>("pw"), 2, 0) &&
         CryptDeriveKey(prov, CALG_RC2, hash, 0, &key) &&
         CryptGetKeyParam(key, KP_KEYLEN, reinterpret_cast<BYTE*>(&bits), &size, 0);
    line(label + " rc2 default", ok, std::to_string(bits));
    if (key) CryptDestroyKey(key);
    if (hash) CryptDestroyHash(hash);
    CryptReleaseContext(prov, 0);
  }
  HCRYPTPROV prov = 0;
  line("container made through the base provider",
       CryptAcquireContextA(&prov, kShared, MS_DEF_PROV_A, PROV_RSA_FULL, CRYPT_NEWKEYSET));
  if (prov) CryptReleaseContext(prov, 0);
  for (const char* name : {MS_ENHANCED_PROV_A, MS_STRONG_PROV_A}) {
    prov = 0;
    line(std::string("opened through ") + name,
         CryptAcquireContextA(&prov, kShared, name, PROV_RSA_FULL, 0));
    if (prov) CryptReleaseContext(prov, 0);
  }
  line("deleted through the default provider",
       CryptAcquireContextA(&prov, kShared, nullptr, PROV_RSA_FULL, CRYPT_DELETEKEYSET));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: key_probe PRIVATEKEYBLOB-HEX\n");
    return 2;
  }
  Bytes blob = unhex(argv[1]);
  importCases(blob, CRYPT_MACHINE_KEYSET, "machine");
  importCases(blob, 0, "user");
  badBlobCases(blob);
  generateCases();
  // Wine 8 enumerates the user's containers for a machine key set's verify context too;
  // Windows lists the machine's, so only the user's key set is compared.
  enumerate(0, "user");
  deleteCases(CRYPT_MACHINE_KEYSET, "machine", kImported);
  deleteCases(0, "user", kImported);
  deleteCases(0, "user", kGenerated);
  enumerate(0, "user");
  providerCases();
  return 0;
}
