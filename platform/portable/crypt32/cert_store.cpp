// Certificate stores: memory stores (and the PKCS #7 store, crypt32/pkcs7_store.cpp) and the
// registry-backed system stores of the current user and the local machine ("MY", "Root",
// "CA", "REQUEST", or any other name), kept where Windows keeps them:
// Software\Microsoft\SystemCertificates\<store>\Certificates in the hive of the store's
// location. A system store reads its certificates when it is opened, in the registry's order
// of their thumbprints; additions, deletions and property changes are in the registry when
// the call returns. A damaged "Blob" is skipped.
//
// A memory store enumerates the certificate added last first. Enumeration goes on past a
// certificate deleted meanwhile. Two certificates are the same when their hash
// properties are, whatever else they hold. A certificate added to no store (a null
// handle) becomes a context of its own, as CertCreateCertificateContext makes one.
#include "crypt32/cert_objects.h"
#include "machine/faults.h"
#include "machine/guard.h"

#include "machine/codepage.h"

#include <strings.h>

#include <cstring>

namespace {

using pw::cert::Context;
using pw::cert::fail;
using pw::cert::Store;

constexpr const char* kSystemCertificates = "Software\\Microsoft\\SystemCertificates\\";
constexpr DWORD kAddNewer = 6;

HCERTSTORE failStore(DWORD code) {
  SetLastError(code);
  return nullptr;
}

// Deletes the key `path` of `root` with every key under it.
LONG deleteTree(HKEY root, const std::string& path) {
  HKEY key;
  if (LONG st = RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key)) return st;
  std::vector<std::string> children;
  char child[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = sizeof child;
    LONG st = RegEnumKeyExA(key, i, child, &length, nullptr, nullptr, nullptr, nullptr);
    if (st == ERROR_NO_MORE_ITEMS) break;
    if (st != ERROR_SUCCESS) {
      RegCloseKey(key);
      return st;
    }
    children.emplace_back(child, length);
  }
  RegCloseKey(key);
  for (const std::string& c : children)
    if (LONG st = deleteTree(root, path + "\\" + c)) return st;
  return RegDeleteKeyA(root, path.c_str());
}

// The value "Blob" of the subkey `name` of `parent`; false when it has none. Most
// certificates fit the first try; a larger one is read again at its size.
bool readBlob(HKEY parent, const char* name, std::string* blob) {
  HKEY key;
  if (RegOpenKeyExA(parent, name, 0, KEY_QUERY_VALUE, &key)) return false;
  blob->resize(4096);
  DWORD type = REG_NONE, size = DWORD(blob->size());
  LONG st =
      RegQueryValueExA(key, "Blob", nullptr, &type, reinterpret_cast<BYTE*>(blob->data()), &size);
  if (st == ERROR_MORE_DATA) {
    blob->resize(size);
    st =
        RegQueryValueExA(key, "Blob", nullptr, &type, reinterpret_cast<BYTE*>(blob->data()), &size);
  }
  RegCloseKey(key);
  blob->resize(st == ERROR_SUCCESS ? size : 0);
  return st == ERROR_SUCCESS;
}

// The certificates of the system store `name` in the hive of `root`, after those the
// store has, in the registry's order of their keys; `inherited` ones are the machine's,
// seen read-only through a user's store.
void loadCertificates(Store& store, HKEY root, const std::string& name, bool inherited) {
  HKEY certificates;
  std::string path = kSystemCertificates + name + "\\Certificates";
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &certificates)) return;
  struct Closer {
    HKEY key;
    ~Closer() { RegCloseKey(key); }
  } closer{certificates};
  char thumb[256];
  std::string blob;
  for (DWORD i = 0;; ++i) {
    DWORD length = sizeof thumb;
    LONG st = RegEnumKeyExA(certificates, i, thumb, &length, nullptr, nullptr, nullptr, nullptr);
    if (st == ERROR_MORE_DATA) continue;  // no thumbprint
    if (st != ERROR_SUCCESS) break;
    if (!readBlob(certificates, thumb, &blob)) continue;
    if (auto context = pw::cert::deserialize(blob))
      pw::cert::addMember(store, std::move(context))->inherited = inherited;
  }
}

// The current user's stores that also show the local machine's certificates.
bool showsMachineStore(HKEY root, const std::string& name) {
  return root == HKEY_CURRENT_USER &&
         (strcasecmp(name.c_str(), "Root") == 0 || strcasecmp(name.c_str(), "CA") == 0);
}

// The member that counts as the same certificate: the one with the same hash property
// (as set, or as computed). A certificate added to a user's store goes to the user's
// part, whatever the machine's has.
Context* findMember(const Store& store, const Context& like) {
  std::string_view hash = pw::cert::hashOf(like);
  for (Context* c : store.members)
    if (c && !c->inherited && pw::cert::hashOf(*c) == hash) return c;
  return nullptr;
}

bool validDisposition(DWORD disposition) {
  return disposition >= CERT_STORE_ADD_NEW && disposition <= kAddNewer + 1;
}

BOOL addContext(Store& store, std::unique_ptr<Context> fresh, DWORD disposition,
                PCCERT_CONTEXT* out) {
  if (out) *out = nullptr;
  if (!validDisposition(disposition)) return fail(DWORD(E_INVALIDARG));
  if (store.readOnly) return fail(DWORD(E_ACCESSDENIED));
  Context* existing = findMember(store, *fresh);
  if (existing) {
    switch (disposition) {
      case CERT_STORE_ADD_NEW:
        return fail(DWORD(CRYPT_E_EXISTS));
      case CERT_STORE_ADD_USE_EXISTING:
      case kAddNewer:  // the same certificate is never newer than itself
      case kAddNewer + 1: {
        // The existing certificate gains the properties it lacks.
        bool gained = false;
        for (auto& [id, data] : fresh->props) gained |= existing->props.emplace(id, data).second;
        if (gained && store.root)
          if (LONG st = pw::cert::persist(*existing)) return fail(DWORD(st));
        if (out) {
          ++existing->refs;
          *out = &existing->ctx;
        }
        return TRUE;
      }
      case CERT_STORE_ADD_REPLACE_EXISTING_INHERIT_PROPERTIES:
        for (auto& [id, data] : existing->props) fresh->props.emplace(id, data);
        break;
      default:
        break;
    }
  }
  Context* c = pw::cert::addMember(store, std::move(fresh));
  ++c->refs;  // held while it is written
  if (store.root) {
    if (LONG st = pw::cert::persist(*c)) {
      pw::cert::removeMember(*c);
      pw::cert::release(*c);
      return fail(DWORD(st));
    }
  }
  if (existing && disposition != CERT_STORE_ADD_ALWAYS) pw::cert::removeMember(*existing);
  if (out)
    *out = &c->ctx;
  else
    pw::cert::release(*c);
  return TRUE;
}

}  // namespace

HCERTSTORE WINAPI CertOpenStore(LPCSTR lpszStoreProvider, DWORD dwEncodingType,
                                HCRYPTPROV_LEGACY hCryptProv, DWORD dwFlags, const void* pvPara) {
  if (auto fault = pw::faults::injected(pw::faults::Point::CertOpenStore)) {
    SetLastError(*fault);
    return nullptr;
  }
  return pw::guarded(HCERTSTORE(nullptr), ERROR_NOT_ENOUGH_MEMORY, [&]() -> HCERTSTORE {
    if (lpszStoreProvider == CERT_STORE_PROV_MEMORY) {
      // A memory store is never kept anywhere, so there is none to delete; read-only
      // is not a memory store's flag.
      if (dwFlags & CERT_STORE_DELETE_FLAG) return failStore(ERROR_CALL_NOT_IMPLEMENTED);
      pw::cert::NewStore store;
      store->newestFirst = true;
      return store.keep();
    }
    if (lpszStoreProvider == CERT_STORE_PROV_PKCS7) return pw::cert::openMessageStore(pvPara);
    if (lpszStoreProvider != CERT_STORE_PROV_SYSTEM_A &&
        lpszStoreProvider != CERT_STORE_PROV_SYSTEM_W)
      return failStore(ERROR_FILE_NOT_FOUND);
    // No name, or not exactly one location: no such store.
    if (!pvPara) return failStore(ERROR_FILE_NOT_FOUND);
    std::string name = lpszStoreProvider == CERT_STORE_PROV_SYSTEM_A
                           ? std::string(static_cast<const char*>(pvPara))
                           : [&] {
                               std::string ansi;
                               for (const WCHAR* w = static_cast<const WCHAR*>(pvPara); *w; ++w) {
                                 int c = pw::codepage::wideToAnsi(*w);
                                 ansi += c < 0 ? '?' : char(c);
                               }
                               return ansi;
                             }();
    HKEY root;
    switch (dwFlags & CERT_SYSTEM_STORE_LOCATION_MASK) {
      case CERT_SYSTEM_STORE_CURRENT_USER:
        root = HKEY_CURRENT_USER;
        break;
      case CERT_SYSTEM_STORE_LOCAL_MACHINE:
        root = HKEY_LOCAL_MACHINE;
        break;
      default:
        return failStore(ERROR_FILE_NOT_FOUND);
    }
    if (name.empty() || name.find('\\') != std::string::npos || name.size() > 255)
      return failStore(DWORD(E_INVALIDARG));

    std::string storeKey = kSystemCertificates + name;
    if (dwFlags & CERT_STORE_DELETE_FLAG) {
      // The store goes with every certificate in it; there is no handle to answer, and
      // the cleared last error says the deletion worked.
      if (LONG st = deleteTree(root, storeKey)) return failStore(DWORD(st));
      return failStore(ERROR_SUCCESS);
    }
    HKEY key;
    if (dwFlags & CERT_STORE_OPEN_EXISTING_FLAG) {
      if (LONG st = RegOpenKeyExA(root, storeKey.c_str(), 0, KEY_READ, &key))
        return failStore(DWORD(st));
      RegCloseKey(key);
    }
    bool readOnly = dwFlags & CERT_STORE_READONLY_FLAG;
    if (!readOnly || (dwFlags & CERT_STORE_CREATE_NEW_FLAG)) {
      DWORD disposition = 0;
      if (LONG st =
              RegCreateKeyExA(root, (storeKey + "\\Certificates").c_str(), 0, nullptr,
                              REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key, &disposition))
        return failStore(DWORD(st));
      RegCloseKey(key);
      if ((dwFlags & CERT_STORE_CREATE_NEW_FLAG) && disposition == REG_OPENED_EXISTING_KEY)
        return failStore(ERROR_FILE_EXISTS);
    }

    pw::cert::NewStore store;
    store->readOnly = readOnly;
    store->root = root;
    store->path = storeKey + "\\Certificates";
    loadCertificates(*store, root, name, false);
    if (showsMachineStore(root, name)) loadCertificates(*store, HKEY_LOCAL_MACHINE, name, true);
    SetLastError(ERROR_SUCCESS);
    return store.keep();
  });
}

BOOL WINAPI CertCloseStore(HCERTSTORE hCertStore, DWORD dwFlags) {
  return pw::guarded(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> BOOL {
    if (!hCertStore) return TRUE;
    Store* store = pw::cert::liveStore(hCertStore);
    if (!store) return fail(DWORD(E_INVALIDARG));
    if (dwFlags & CERT_CLOSE_STORE_FORCE_FLAG) {
      pw::cert::destroyStore(*store);
      return TRUE;
    }
    if (--store->refs > 0) return TRUE;
    if (pw::cert::dropMembers(*store) && (dwFlags & CERT_CLOSE_STORE_CHECK_FLAG))
      return fail(DWORD(0x8009200FL));  // CRYPT_E_PENDING_CLOSE: contexts are still held
    return TRUE;
  });
}

// Every change is in the registry as soon as it is made, so a commit has nothing left to do.
BOOL WINAPI CertControlStore(HCERTSTORE hCertStore, DWORD dwFlags, DWORD dwCtrlType,
                             const void* pvCtrlPara) {
  return pw::guarded(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> BOOL {
    if (!pw::cert::liveStore(hCertStore)) return fail(DWORD(E_INVALIDARG));
    if (dwCtrlType == CERT_STORE_CTRL_COMMIT) return TRUE;
    return fail(ERROR_CALL_NOT_IMPLEMENTED);
  });
}

PCCERT_CONTEXT WINAPI CertEnumCertificatesInStore(HCERTSTORE hCertStore,
                                                  PCCERT_CONTEXT pPrevCertContext) {
  return pw::guarded(PCCERT_CONTEXT(nullptr), ERROR_NOT_ENOUGH_MEMORY, [&]() -> PCCERT_CONTEXT {
    Store* store = pw::cert::enumerableStore(hCertStore);
    Context* prev = pPrevCertContext ? pw::cert::liveContext(pPrevCertContext) : nullptr;
    if (!store || (pPrevCertContext && (!prev || prev->store != store))) {
      SetLastError(DWORD(E_INVALIDARG));
      return nullptr;
    }
    // The member after the previous one; one deleted meanwhile still knows its place.
    size_t count = store->members.size();
    size_t at = prev ? prev->slot : store->newestFirst ? count : size_t(-1);
    if (prev) pw::cert::release(*prev);
    for (;;) {
      if (store->newestFirst) {
        if (at == 0 || at > count) break;
        --at;
      } else if (++at >= count) {
        break;
      }
      if (Context* c = store->members[at]) {
        ++c->refs;
        return &c->ctx;
      }
    }
    SetLastError(DWORD(CRYPT_E_NOT_FOUND));
    return nullptr;
  });
}

BOOL WINAPI CertDeleteCertificateFromStore(PCCERT_CONTEXT pCertContext) {
  if (auto fault = pw::faults::injected(pw::faults::Point::CertDeleteCertificateFromStore)) {
    CertFreeCertificateContext(pCertContext);  // released even when the deletion fails
    return fail(*fault);
  }
  return pw::guarded(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> BOOL {
    Context* c = pw::cert::liveContext(pCertContext);
    if (!c) return fail(DWORD(E_INVALIDARG));
    // The context is released whatever the outcome.
    struct Releaser {
      Context& c;
      ~Releaser() { pw::cert::release(c); }
    } releaser{*c};
    if (!c->member) return TRUE;
    if (c->store->readOnly || c->inherited) return fail(DWORD(E_ACCESSDENIED));
    if (c->store->root)
      if (LONG st = pw::cert::unpersist(*c)) return fail(DWORD(st));
    pw::cert::removeMember(*c);
    return TRUE;
  });
}

BOOL WINAPI CertAddEncodedCertificateToStore(HCERTSTORE hCertStore, DWORD dwCertEncodingType,
                                             const BYTE* pbCertEncoded, DWORD cbCertEncoded,
                                             DWORD dwAddDisposition,
                                             PCCERT_CONTEXT* ppCertContext) {
  return pw::guarded(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> BOOL {
    if (ppCertContext) *ppCertContext = nullptr;
    Store* store = pw::cert::liveStore(hCertStore);
    if ((hCertStore && !store) || !validDisposition(dwAddDisposition))
      return fail(DWORD(E_INVALIDARG));
    if ((dwCertEncodingType & 0xFFFF) != X509_ASN_ENCODING) return fail(DWORD(E_INVALIDARG));
    auto fresh = pw::cert::decodeCertificate(pbCertEncoded, cbCertEncoded);
    if (!fresh) return FALSE;
    if (!store) {
      // No store: the context is made as on its own, and kept only for the caller.
      if (ppCertContext) *ppCertContext = &pw::cert::loneContext(std::move(fresh))->ctx;
      return TRUE;
    }
    return addContext(*store, std::move(fresh), dwAddDisposition, ppCertContext);
  });
}

BOOL WINAPI CertAddCertificateContextToStore(HCERTSTORE hCertStore, PCCERT_CONTEXT pCertContext,
                                             DWORD dwAddDisposition,
                                             PCCERT_CONTEXT* ppStoreContext) {
  return pw::guarded(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> BOOL {
    if (ppStoreContext) *ppStoreContext = nullptr;
    Store* store = pw::cert::liveStore(hCertStore);
    Context* source = pw::cert::liveContext(pCertContext);
    if ((hCertStore && !store) || !source || !validDisposition(dwAddDisposition))
      return fail(DWORD(E_INVALIDARG));
    if (!store) {
      // No store: the caller gets the context itself once more.
      if (ppStoreContext) {
        ++source->refs;
        *ppStoreContext = pCertContext;
      }
      return TRUE;
    }
    auto fresh = pw::cert::decodeCertificate(reinterpret_cast<const BYTE*>(source->encoded.data()),
                                             DWORD(source->encoded.size()));
    if (!fresh) return FALSE;
    fresh->props = source->props;
    return addContext(*store, std::move(fresh), dwAddDisposition, ppStoreContext);
  });
}
