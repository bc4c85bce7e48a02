// certutil -importPFX: the PFX's certificates into a system store, its private key into
// a new container of the chosen key set as an exchange key (or, with AT_SIGNATURE, a
// signature key), named in the certificate's key-provider information. The platform's
// PFXImportCertStore puts the key somewhere of its own choosing; it is moved from there
// into a container named here, so that the result is the same on every platform. On any
// failure nothing stays behind.
#include "cert.h"
#include "certutil.h"
#include "console.h"
#include "crypt.h"
#include "file.h"
#include "text.h"

#include <cstring>

namespace pwm::certutil {
namespace {

// A GUID-shaped name, as Windows names the containers of imported keys.
std::string newContainerName() {
  BYTE r[16] = {};
  win32::CryptProvider prov;
  if (CryptAcquireContextA(prov.out(), nullptr, MS_DEF_PROV_A, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT))
    CryptGenRandom(prov.get(), sizeof r, r);
  return format("{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", r[0],
                r[1], r[2], r[3], r[4], r[5], r[6], r[7], r[8], r[9], r[10], r[11], r[12], r[13],
                r[14], r[15]);
}

// True once the container is gone. A deletion that fails is tried once more, so that a
// disk that failed one write does not leave a copy of the key behind.
bool deleteContainer(const std::string& name, DWORD keySet, const std::string& provider,
                     DWORD type) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    HCRYPTPROV gone = 0;
    if (CryptAcquireContextA(&gone, name.c_str(), provider.empty() ? nullptr : provider.c_str(),
                             type, keySet | CRYPT_DELETEKEYSET))
      return true;
  }
  return false;
}

struct ProvInfo {
  std::vector<ULONG_PTR> buffer;
  CRYPT_KEY_PROV_INFO* get() { return reinterpret_cast<CRYPT_KEY_PROV_INFO*>(buffer.data()); }
};

bool provInfoOf(PCCERT_CONTEXT cert, ProvInfo* info) {
  DWORD size = 0;
  if (!CertGetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size))
    return false;
  info->buffer.resize(size / sizeof(ULONG_PTR) + 1);
  return CertGetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, info->buffer.data(),
                                           &size);
}

// The key pair the import left, as a PRIVATEKEYBLOB, and where it lies.
DWORD exportImported(CRYPT_KEY_PROV_INFO* info, std::string* blob, std::string* container,
                     std::string* provider, DWORD* keySetFound) {
  *container = toNarrow(WStringView(info->pwszContainerName,
                                    std::char_traits<WCHAR>::length(info->pwszContainerName)));
  *provider = info->pwszProvName
                  ? toNarrow(WStringView(info->pwszProvName,
                                         std::char_traits<WCHAR>::length(info->pwszProvName)))
                  : std::string();
  DWORD first = info->dwFlags & CRYPT_MACHINE_KEYSET;
  for (DWORD set : {first, first ^ DWORD(CRYPT_MACHINE_KEYSET)}) {
    win32::CryptProvider prov;
    if (!CryptAcquireContextA(prov.out(), container->c_str(),
                              provider->empty() ? nullptr : provider->c_str(), info->dwProvType,
                              set))
      continue;
    win32::CryptKey key;
    DWORD size = 0;
    if (!CryptGetUserKey(prov.get(),
                         info->dwKeySpec == AT_SIGNATURE ? AT_SIGNATURE : AT_KEYEXCHANGE,
                         key.out()) &&
        !CryptGetUserKey(prov.get(), AT_SIGNATURE, key.out()))
      return GetLastError();
    if (!CryptExportKey(key.get(), 0, PRIVATEKEYBLOB, 0, nullptr, &size)) return GetLastError();
    blob->resize(size);
    if (!CryptExportKey(key.get(), 0, PRIVATEKEYBLOB, 0, reinterpret_cast<BYTE*>(blob->data()),
                        &size))
      return GetLastError();
    blob->resize(size);
    *keySetFound = set;
    return 0;
  }
  return GetLastError();
}

}  // namespace

int runImportPfx(const Options& o) {
  const char* verb = "importPFX";
  std::vector<std::string> args = o.args;
  DWORD keySpec = AT_KEYEXCHANGE;
  if (!args.empty() &&
      (equalsNoCase(args.back(), "AT_SIGNATURE") || equalsNoCase(args.back(), "AT_KEYEXCHANGE"))) {
    if (equalsNoCase(args.back(), "AT_SIGNATURE")) keySpec = AT_SIGNATURE;
    args.pop_back();
  }
  if (args.empty() || args.size() > 2)
    return failed(verb, ERROR_INVALID_PARAMETER, "[STORE] FILE expected");
  std::string storeName = args.size() == 2 ? args[0] : "My";
  const std::string& file = args.back();

  std::string bytes;
  if (DWORD st = readFile(file, &bytes)) return failed(verb, st, file);
  CRYPT_DATA_BLOB pfx{DWORD(bytes.size()), reinterpret_cast<BYTE*>(bytes.data())};
  WString password = toWide(o.password);
  password.push_back(0);
  win32::CertStore imported(
      PFXImportCertStore(&pfx, password.c_str(),
                         CRYPT_EXPORTABLE | (o.user ? CRYPT_USER_KEYSET : CRYPT_MACHINE_KEYSET)));
  if (!imported) return failed(verb, GetLastError(), file + ": wrong password, or not a PFX file");

  win32::CertStore store(
      CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, storeLocation(o), storeName.c_str()));
  if (!store) return failed(verb, GetLastError(), storeName);

  struct Moved {
    std::string container;
    DWORD keySet;
    std::string provider;
    DWORD type;
  };
  std::vector<Moved> created, leftovers;
  auto undo = [&](DWORD code, const std::string& what) {
    for (const Moved& m : created) deleteContainer(m.container, m.keySet, m.provider, m.type);
    for (const Moved& m : leftovers) deleteContainer(m.container, m.keySet, m.provider, m.type);
    return failed(verb, code, what);
  };

  // First the keys, each moved into a container of its own.
  std::string text;
  for (PCCERT_CONTEXT c = nullptr; (c = CertEnumCertificatesInStore(imported.get(), c));) {
    ProvInfo info;
    if (provInfoOf(c, &info)) {
      std::string blob, oldContainer, provider;
      DWORD oldSet = 0;
      if (DWORD st = exportImported(info.get(), &blob, &oldContainer, &provider, &oldSet))
        return undo(st, "the imported key cannot be read");
      leftovers.push_back({oldContainer, oldSet, provider, info.get()->dwProvType});
      // The pair as the key specification asks for it.
      ALG_ID alg = keySpec == AT_SIGNATURE ? CALG_RSA_SIGN : CALG_RSA_KEYX;
      std::memcpy(blob.data() + 4, &alg, sizeof alg);
      std::string container = newContainerName();
      win32::CryptProvider prov;
      // The provider the platform imported with: it takes keys of the PFX's size.
      const char* providerName = provider.empty() ? nullptr : provider.c_str();
      if (!CryptAcquireContextA(prov.out(), container.c_str(), providerName, info.get()->dwProvType,
                                keySet(o) | CRYPT_NEWKEYSET))
        return undo(GetLastError(), "a key container cannot be made");
      created.push_back({container, keySet(o), provider, info.get()->dwProvType});
      win32::CryptKey key;
      if (!CryptImportKey(prov.get(), reinterpret_cast<const BYTE*>(blob.data()),
                          DWORD(blob.size()), 0, CRYPT_EXPORTABLE, key.out()))
        return undo(GetLastError(), "the key cannot be stored");
      WString wideContainer = toWide(container), wideProvider = toWide(provider);
      wideContainer.push_back(0);
      wideProvider.push_back(0);
      CRYPT_KEY_PROV_INFO moved{wideContainer.data(),
                                provider.empty() ? nullptr : wideProvider.data(),
                                info.get()->dwProvType,
                                keySet(o),
                                0,
                                nullptr,
                                keySpec};
      if (!CertSetCertificateContextProperty(c, CERT_KEY_PROV_INFO_PROP_ID, 0, &moved))
        return undo(GetLastError(), "the key cannot be named");
    }
  }
  // Then the certificates; one refused takes back those added before it.
  std::vector<PCCERT_CONTEXT> added;
  auto undoAll = [&](DWORD code, const std::string& what) {
    for (PCCERT_CONTEXT c : added) CertDeleteCertificateFromStore(c);
    CertControlStore(store.get(), 0, CERT_STORE_CTRL_COMMIT, nullptr);
    return undo(code, what);
  };
  DWORD disposition = o.force ? CERT_STORE_ADD_REPLACE_EXISTING : CERT_STORE_ADD_NEW;
  for (PCCERT_CONTEXT c = nullptr; (c = CertEnumCertificatesInStore(imported.get(), c));) {
    PCCERT_CONTEXT copy = nullptr;
    if (!CertAddCertificateContextToStore(store.get(), c, disposition, &copy))
      return undoAll(GetLastError(), storeName);
    added.push_back(copy);
    text += "Certificate \"" + nameText(&c->pCertInfo->Subject, CERT_SIMPLE_NAME_STR) +
            "\" added to store.\n";
  }
  if (!CertControlStore(store.get(), 0, CERT_STORE_CTRL_COMMIT, nullptr))
    return undoAll(GetLastError(), storeName);
  // The key stays in one container only: the one the certificates name.
  for (const Moved& m : leftovers)
    if (!deleteContainer(m.container, m.keySet, m.provider, m.type))
      return undoAll(GetLastError(), "the imported key cannot be moved");
  for (PCCERT_CONTEXT c : added) CertFreeCertificateContext(c);
  out(text);
  return succeeded(verb);
}

}  // namespace pwm::certutil
