// Certificate contexts: a DER certificate as CERT_INFO, the
// reference counting of contexts and stores, and the context properties.
#include "crypt32/cert_objects.h"
#include "machine/faults.h"
#include "machine/guard.h"

#include "crypt32/cert_der.h"

#include "machine/ossl.h"

#include <openssl/evp.h>

#include <cstring>
#include <ctime>

namespace pw::cert {
namespace {

void setBlob(CRYPT_INTEGER_BLOB& blob, std::string& data) {
  blob.cbData = DWORD(data.size());
  blob.pbData = data.empty() ? nullptr : reinterpret_cast<BYTE*>(data.data());
}

DWORD fill(Context& c, std::string_view der) {
  CertFields f;
  if (DWORD error = parseCertificate(der, &f)) return error;
  CERT_INFO& info = c.info;
  info.dwVersion = f.version;
  c.serial.assign(f.serial.rbegin(), f.serial.rend());  // least significant byte first
  setBlob(info.SerialNumber, c.serial);
  c.sigOid = oidOf(f.sigOid);
  c.sigParams = f.sigParams;
  info.SignatureAlgorithm.pszObjId = c.sigOid.data();
  setBlob(info.SignatureAlgorithm.Parameters, c.sigParams);
  c.issuer = f.issuer;
  c.subject = f.subject;
  setBlob(info.Issuer, c.issuer);
  setBlob(info.Subject, c.subject);
  info.NotBefore = f.notBefore;
  info.NotAfter = f.notAfter;
  c.keyOid = oidOf(f.keyOid);
  c.keyParams = f.keyParams;
  c.publicKey = f.publicKey;
  info.SubjectPublicKeyInfo.Algorithm.pszObjId = c.keyOid.data();
  setBlob(info.SubjectPublicKeyInfo.Algorithm.Parameters, c.keyParams);
  info.SubjectPublicKeyInfo.PublicKey.cbData = DWORD(c.publicKey.size());
  info.SubjectPublicKeyInfo.PublicKey.pbData = reinterpret_cast<BYTE*>(c.publicKey.data());
  info.SubjectPublicKeyInfo.PublicKey.cUnusedBits = f.unusedBits;

  size_t count = f.extensions.size();
  c.extOids.resize(count);
  c.extValues.resize(count);
  c.extensions.resize(count);
  for (size_t i = 0; i < count; ++i) {
    c.extOids[i] = oidOf(f.extensions[i].oid);
    c.extValues[i] = f.extensions[i].value;
    c.extensions[i].pszObjId = c.extOids[i].data();
    c.extensions[i].fCritical = f.extensions[i].critical ? TRUE : FALSE;
    setBlob(c.extensions[i].Value, c.extValues[i]);
  }
  info.cExtension = DWORD(count);
  info.rgExtension = count ? c.extensions.data() : nullptr;
  return 0;
}

// The size of CRYPT_KEY_PROV_INFO expanded from its stored form, laid out as crypt32
// does: the structure, the parameters, the container name, the provider name, the data.
struct StoredInfo {
  DWORD container, provider, provType, flags, paramCount, params, keySpec;
};
struct StoredParam {
  DWORD param, data, size, flags;
};

size_t wideLength(std::string_view stored, DWORD offset) {
  size_t n = 0;
  while (offset + 2 * n + 1 < stored.size() &&
         (stored[offset + 2 * n] || stored[offset + 2 * n + 1]))
    ++n;
  return n;
}

BOOL expandKeyProvInfo(const std::string& stored, void* out, DWORD* outLen) {
  StoredInfo s;
  std::memcpy(&s, stored.data(), sizeof s);
  size_t container = s.container ? wideLength(stored, s.container) + 1 : 0;
  size_t provider = s.provider ? wideLength(stored, s.provider) + 1 : 0;
  std::vector<StoredParam> params(s.paramCount);
  size_t data = 0;
  for (DWORD i = 0; i < s.paramCount; ++i) {
    std::memcpy(&params[i], stored.data() + s.params + i * sizeof(StoredParam),
                sizeof(StoredParam));
    data += params[i].size;
  }
  DWORD size = DWORD(sizeof(CRYPT_KEY_PROV_INFO) + s.paramCount * sizeof(CRYPT_KEY_PROV_PARAM) +
                     (container + provider) * sizeof(WCHAR) + data);
  if (!out) {
    *outLen = size;
    return TRUE;
  }
  if (*outLen < size) {
    *outLen = size;
    return fail(ERROR_MORE_DATA);
  }
  *outLen = size;
  auto* info = static_cast<CRYPT_KEY_PROV_INFO*>(out);
  auto* rg = reinterpret_cast<CRYPT_KEY_PROV_PARAM*>(info + 1);
  BYTE* next = reinterpret_cast<BYTE*>(rg + s.paramCount);
  auto copyWide = [&](DWORD offset, size_t chars) -> LPWSTR {
    if (!chars) return nullptr;
    auto* w = reinterpret_cast<LPWSTR>(next);
    std::memcpy(next, stored.data() + offset, (chars - 1) * sizeof(WCHAR));
    w[chars - 1] = 0;
    next += chars * sizeof(WCHAR);
    return w;
  };
  info->pwszContainerName = copyWide(s.container, container);
  info->pwszProvName = copyWide(s.provider, provider);
  info->dwProvType = s.provType;
  info->dwFlags = s.flags;
  info->cProvParam = s.paramCount;
  info->rgProvParam = s.paramCount ? rg : nullptr;
  info->dwKeySpec = s.keySpec;
  for (DWORD i = 0; i < s.paramCount; ++i) {
    rg[i].dwParam = params[i].param;
    rg[i].dwFlags = params[i].flags;
    rg[i].cbData = params[i].size;
    rg[i].pbData = params[i].size ? next : nullptr;
    if (params[i].size) std::memcpy(next, stored.data() + params[i].data, params[i].size);
    next += params[i].size;
  }
  return TRUE;
}

}  // namespace

Context* liveContext(PCCERT_CONTEXT handle) { return pw::handles::objectFor<Context>(handle); }

Store* liveStore(HCERTSTORE handle) {
  Store* s = pw::handles::objectFor<Store>(handle);
  return s && s->refs > 0 ? s : nullptr;
}

Store* enumerableStore(HCERTSTORE handle) {
  Store* s = pw::handles::objectFor<Store>(handle);
  return s && (s->refs > 0 || s->ofLoneContext) ? s : nullptr;
}

std::string_view hashOf(const Context& c) {
  auto it = c.props.find(CERT_HASH_PROP_ID);
  if (it != c.props.end()) return it->second;
  return {reinterpret_cast<const char*>(c.sha1.data()), c.sha1.size()};
}

Context* loneContext(std::unique_ptr<Context> context) {
  NewStore store;
  store->ofLoneContext = true;
  Context* c = addMember(*store, std::move(context));
  c->member = false;
  store->members.clear();
  c->refs = 1;
  store.keep()->refs = 0;  // the store goes with the context
  return c;
}

NewStore::NewStore() {
  auto store = std::make_unique<Store>();
  store_ = store.get();
  if (!pw::handles::addObject(std::move(store))) throw std::bad_alloc();
}

NewStore::~NewStore() {
  if (store_) destroyStore(*store_);
}

std::unique_ptr<Context> decodeCertificate(const BYTE* der, DWORD size) {
  auto c = std::make_unique<Context>();
  if (der) c->encoded.assign(reinterpret_cast<const char*>(der), size);
  if (DWORD error = fill(*c, c->encoded)) {
    SetLastError(error);
    return nullptr;
  }
  unsigned int len = 0;
  EVP_Digest(der, size, c->sha1.data(), &len, EVP_sha1(), nullptr);
  c->ctx.dwCertEncodingType = X509_ASN_ENCODING;
  c->ctx.pbCertEncoded = reinterpret_cast<BYTE*>(c->encoded.data());
  c->ctx.cbCertEncoded = size;
  c->ctx.pCertInfo = &c->info;
  return c;
}

Context* addMember(Store& store, std::unique_ptr<Context> context) {
  Context* c = context.get();
  store.members.reserve(store.members.size() + 1);  // the push below cannot fail
  store.all.insert(c);
  c->store = &store;
  c->ctx.hCertStore = &store;
  c->member = true;
  c->slot = store.members.size();
  if (!pw::handles::addObject(std::move(context), &c->ctx)) {
    store.all.erase(c);
    throw std::bad_alloc();
  }
  store.members.push_back(c);
  return c;
}

namespace {
// A store closed by every caller goes once its last context has gone.
void maybeFreeStore(Store& store) {
  if (store.refs <= 0 && store.all.empty()) {
    pw::handles::destroyObject(&store);
  }
}
void maybeFree(Context& c) {
  if (c.refs > 0 || c.member) return;
  Store* store = c.store;
  if (store) store->all.erase(&c);
  pw::handles::destroyObject(&c.ctx);
  if (store) maybeFreeStore(*store);
}
}  // namespace

void removeMember(Context& c) {
  if (!c.member) return;
  c.member = false;
  c.store->members[c.slot] = nullptr;
  maybeFree(c);
}

void release(Context& c) {
  if (c.refs > 0) --c.refs;
  maybeFree(c);
}

bool dropMembers(Store& store) {
  std::vector<Context*> members = std::move(store.members);
  store.members.clear();
  for (Context* c : members) {
    if (!c) continue;
    c->member = false;
    if (c->refs <= 0) {
      store.all.erase(c);
      pw::handles::destroyObject(&c->ctx);
    }
  }
  bool pending = !store.all.empty();
  maybeFreeStore(store);
  return pending;
}

void destroyStore(Store& store) {
  for (Context* c : store.all) pw::handles::destroyObject(&c->ctx);
  store.all.clear();
  store.members.clear();
  pw::handles::destroyObject(&store);
}

std::string storedKeyProvInfo(const CRYPT_KEY_PROV_INFO& info) {
  auto wide = [](LPCWSTR s) { return s ? std::u16string_view(s) : std::u16string_view(); };
  std::string out(sizeof(StoredInfo) + info.cProvParam * sizeof(StoredParam), '\0');
  StoredInfo s{0, 0, info.dwProvType, info.dwFlags, info.cProvParam, 0, info.dwKeySpec};
  auto append = [&](const void* data, size_t size) {
    DWORD at = DWORD(out.size());
    out.append(static_cast<const char*>(data), size);
    return at;
  };
  if (info.pwszContainerName) {
    auto w = wide(info.pwszContainerName);
    s.container = append(w.data(), w.size() * sizeof(WCHAR));
    out.append(2, '\0');
  }
  if (info.pwszProvName) {
    auto w = wide(info.pwszProvName);
    s.provider = append(w.data(), w.size() * sizeof(WCHAR));
    out.append(2, '\0');
  }
  if (info.cProvParam) s.params = sizeof(StoredInfo);
  for (DWORD i = 0; i < info.cProvParam; ++i) {
    const CRYPT_KEY_PROV_PARAM& p = info.rgProvParam[i];
    StoredParam sp{p.dwParam, p.cbData ? append(p.pbData, p.cbData) : 0, p.cbData, p.dwFlags};
    std::memcpy(out.data() + sizeof(StoredInfo) + i * sizeof(StoredParam), &sp, sizeof sp);
  }
  std::memcpy(out.data(), &s, sizeof s);
  return out;
}

bool validStoredKeyProvInfo(std::string_view stored) {
  if (stored.size() < sizeof(StoredInfo)) return false;
  StoredInfo s;
  std::memcpy(&s, stored.data(), sizeof s);
  auto validString = [&](DWORD offset) {
    if (!offset) return true;
    if (offset < sizeof(StoredInfo) || offset % 2 || offset >= stored.size()) return false;
    size_t n = wideLength(stored, offset);
    return offset + 2 * n + 1 < stored.size();  // the terminator lies inside
  };
  if (!validString(s.container) || !validString(s.provider)) return false;
  if (s.paramCount > stored.size() / sizeof(StoredParam)) return false;
  if (s.paramCount && (s.params < sizeof(StoredInfo) ||
                       s.params + uint64_t(s.paramCount) * sizeof(StoredParam) > stored.size()))
    return false;
  for (DWORD i = 0; i < s.paramCount; ++i) {
    StoredParam p;
    std::memcpy(&p, stored.data() + s.params + i * sizeof(StoredParam), sizeof p);
    if (uint64_t(p.data) + p.size > stored.size()) return false;
  }
  return true;
}

}  // namespace pw::cert

using pw::cert::Context;
using pw::cert::fail;
using pw::cert::liveContext;

PCCERT_CONTEXT WINAPI CertCreateCertificateContext(DWORD dwCertEncodingType,
                                                   const BYTE* pbCertEncoded, DWORD cbCertEncoded) {
  return pw::guarded(PCCERT_CONTEXT(nullptr), ERROR_NOT_ENOUGH_MEMORY, [&]() -> PCCERT_CONTEXT {
    if ((dwCertEncodingType & 0xFFFF) != X509_ASN_ENCODING) {
      SetLastError(DWORD(E_INVALIDARG));
      return nullptr;
    }
    auto c = pw::cert::decodeCertificate(pbCertEncoded, cbCertEncoded);
    if (!c) return nullptr;
    return &pw::cert::loneContext(std::move(c))->ctx;  // in a store of its own, as crypt32 makes it
  });
}

PCCERT_CONTEXT WINAPI CertDuplicateCertificateContext(PCCERT_CONTEXT pCertContext) {
  return pw::guarded(PCCERT_CONTEXT(nullptr), ERROR_NOT_ENOUGH_MEMORY, [&]() -> PCCERT_CONTEXT {
    Context* c = liveContext(pCertContext);
    if (!c) return nullptr;
    ++c->refs;
    return pCertContext;
  });
}

BOOL WINAPI CertFreeCertificateContext(PCCERT_CONTEXT pCertContext) {
  return pw::guarded(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> BOOL {
    if (Context* c = liveContext(pCertContext)) pw::cert::release(*c);
    return TRUE;
  });
}

BOOL WINAPI CertGetCertificateContextProperty(PCCERT_CONTEXT pCertContext, DWORD dwPropId,
                                              void* pvData, DWORD* pcbData) {
  if (auto fault = pw::faults::injected(pw::faults::Point::CertGetCertificateContextProperty))
    return fail(*fault);
  return pw::guarded(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> BOOL {
    Context* c = liveContext(pCertContext);
    if (!c || !pcbData) return fail(DWORD(E_INVALIDARG));
    auto it = c->props.find(dwPropId);
    switch (dwPropId) {
      case CERT_SHA1_HASH_PROP_ID:
        if (it == c->props.end()) return pw::cert::copyOut(pvData, pcbData, c->sha1.data(), 20);
        break;
      case CERT_MD5_HASH_PROP_ID:
        if (it == c->props.end()) {
          BYTE md5[16];
          unsigned int len = 0;
          EVP_Digest(c->encoded.data(), c->encoded.size(), md5, &len, EVP_md5(), nullptr);
          return pw::cert::copyOut(pvData, pcbData, md5, sizeof md5);
        }
        break;
      case CERT_KEY_PROV_INFO_PROP_ID:
        if (it == c->props.end()) return fail(DWORD(CRYPT_E_NOT_FOUND));
        return pw::cert::expandKeyProvInfo(it->second, pvData, pcbData);
      default:
        break;
    }
    if (it == c->props.end()) return fail(DWORD(CRYPT_E_NOT_FOUND));
    return pw::cert::copyOut(pvData, pcbData, it->second.data(), DWORD(it->second.size()));
  });
}

BOOL WINAPI CertSetCertificateContextProperty(PCCERT_CONTEXT pCertContext, DWORD dwPropId,
                                              DWORD dwFlags, const void* pvData) {
  return pw::guarded(FALSE, ERROR_NOT_ENOUGH_MEMORY, [&]() -> BOOL {
    Context* c = liveContext(pCertContext);
    if (!c) return fail(DWORD(E_INVALIDARG));
    // Handles and key contexts belong to a process; they are not kept as bytes.
    if (!dwPropId || dwPropId == CERT_KEY_PROV_HANDLE_PROP_ID || dwPropId == 5)
      return fail(DWORD(E_INVALIDARG));
    std::map<DWORD, std::string> before = c->props;
    if (!pvData) {
      c->props.erase(dwPropId);
    } else if (dwPropId == CERT_KEY_PROV_INFO_PROP_ID) {
      c->props[dwPropId] =
          pw::cert::storedKeyProvInfo(*static_cast<const CRYPT_KEY_PROV_INFO*>(pvData));
    } else {
      auto* blob = static_cast<const CRYPT_DATA_BLOB*>(pvData);
      c->props[dwPropId].assign(reinterpret_cast<const char*>(blob->pbData), blob->cbData);
    }
    if (c->member && c->store->root && !c->store->readOnly && !c->inherited) {
      if (LONG st = pw::cert::persist(*c)) {
        c->props = std::move(before);
        return fail(DWORD(st));
      }
    }
    return TRUE;
  });
}
