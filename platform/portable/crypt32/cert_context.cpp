// Certificate contexts: decoding a DER certificate into CERT_INFO over OpenSSL, the
// reference counting of contexts and stores, and the context properties.
#include "crypt32/cert_objects.h"

#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/x509.h>

#include <cstring>
#include <ctime>

namespace pw::cert {
namespace {

std::unordered_set<Context*>& liveContexts() {
  static auto* set = new std::unordered_set<Context*>;  // process-wide
  return *set;
}
std::unordered_set<Store*>& liveStores() {
  static auto* set = new std::unordered_set<Store*>;
  return *set;
}

std::string oidText(const ASN1_OBJECT* obj) {
  char buf[128];
  int n = OBJ_obj2txt(buf, sizeof buf, obj, 1);
  return n > 0 && size_t(n) < sizeof buf ? std::string(buf, size_t(n)) : std::string();
}

// The DER of an algorithm's parameters; empty when it has none.
std::string paramsOf(const X509_ALGOR* alg) {
  const ASN1_OBJECT* obj;
  int type;
  const void* value;
  X509_ALGOR_get0(&obj, &type, &value, alg);
  if (type == V_ASN1_UNDEF) return {};
  ASN1_TYPE* t = ASN1_TYPE_new();
  std::string der;
  if (t && ASN1_TYPE_set1(t, type, value)) {
    unsigned char* out = nullptr;
    int n = i2d_ASN1_TYPE(t, &out);
    if (n > 0) der.assign(reinterpret_cast<char*>(out), size_t(n));
    OPENSSL_free(out);
  }
  ASN1_TYPE_free(t);
  return der;
}

// Windows keeps the serial number's DER content bytes, least significant first.
std::string serialOf(const ASN1_INTEGER* serial) {
  unsigned char* der = nullptr;
  int n = i2d_ASN1_INTEGER(serial, &der);
  std::string content;
  if (n > 2) {
    // 02 <length> <content>; the length may take several bytes.
    size_t at = 1, len = der[at++];
    if (len & 0x80) {
      size_t bytes = len & 0x7f;
      len = 0;
      while (bytes-- && at < size_t(n)) len = (len << 8) | der[at++];
    }
    if (at + len == size_t(n)) content.assign(reinterpret_cast<char*>(der) + at, len);
  }
  OPENSSL_free(der);
  return std::string(content.rbegin(), content.rend());
}

bool toFiletime(const ASN1_TIME* time, FILETIME* out) {
  struct tm tm {};
  if (!ASN1_TIME_to_tm(time, &tm)) return false;
  int64_t seconds = int64_t(timegm(&tm)) + 11644473600LL;  // from 1601
  uint64_t ticks = uint64_t(seconds) * 10000000ULL;
  out->dwLowDateTime = DWORD(ticks);
  out->dwHighDateTime = DWORD(ticks >> 32);
  return true;
}

void setBlob(CRYPT_INTEGER_BLOB& blob, std::string& data) {
  blob.cbData = DWORD(data.size());
  blob.pbData = data.empty() ? nullptr : reinterpret_cast<BYTE*>(data.data());
}

bool fill(Context& c, X509* x) {
  CERT_INFO& info = c.info;
  info.dwVersion = DWORD(X509_get_version(x));
  c.serial = serialOf(X509_get0_serialNumber(x));
  setBlob(info.SerialNumber, c.serial);

  const X509_ALGOR* sig = X509_get0_tbs_sigalg(x);
  const ASN1_OBJECT* obj;
  X509_ALGOR_get0(&obj, nullptr, nullptr, sig);
  c.sigOid = oidText(obj);
  c.sigParams = paramsOf(sig);
  info.SignatureAlgorithm.pszObjId = c.sigOid.data();
  setBlob(info.SignatureAlgorithm.Parameters, c.sigParams);

  const unsigned char* der;
  size_t len;
  if (!X509_NAME_get0_der(X509_get_issuer_name(x), &der, &len)) return false;
  c.issuer.assign(reinterpret_cast<const char*>(der), len);
  if (!X509_NAME_get0_der(X509_get_subject_name(x), &der, &len)) return false;
  c.subject.assign(reinterpret_cast<const char*>(der), len);
  setBlob(info.Issuer, c.issuer);
  setBlob(info.Subject, c.subject);
  if (!toFiletime(X509_get0_notBefore(x), &info.NotBefore) ||
      !toFiletime(X509_get0_notAfter(x), &info.NotAfter))
    return false;

  X509_PUBKEY* pub = X509_get_X509_PUBKEY(x);
  const unsigned char* keyBits;
  int keyLen;
  X509_ALGOR* keyAlg;
  ASN1_OBJECT* keyObj;
  if (!pub || !X509_PUBKEY_get0_param(&keyObj, &keyBits, &keyLen, &keyAlg, pub)) return false;
  c.keyOid = oidText(keyObj);
  c.keyParams = paramsOf(keyAlg);
  c.publicKey.assign(reinterpret_cast<const char*>(keyBits), size_t(keyLen));
  info.SubjectPublicKeyInfo.Algorithm.pszObjId = c.keyOid.data();
  setBlob(info.SubjectPublicKeyInfo.Algorithm.Parameters, c.keyParams);
  info.SubjectPublicKeyInfo.PublicKey.cbData = DWORD(c.publicKey.size());
  info.SubjectPublicKeyInfo.PublicKey.pbData = reinterpret_cast<BYTE*>(c.publicKey.data());

  int count = X509_get_ext_count(x);
  c.extOids.resize(size_t(count));
  c.extValues.resize(size_t(count));
  c.extensions.resize(size_t(count));
  for (int i = 0; i < count; ++i) {
    X509_EXTENSION* ext = X509_get_ext(x, i);
    const ASN1_OCTET_STRING* data = X509_EXTENSION_get_data(ext);
    c.extOids[i] = oidText(X509_EXTENSION_get_object(ext));
    c.extValues[i].assign(reinterpret_cast<const char*>(ASN1_STRING_get0_data(data)),
                          size_t(ASN1_STRING_length(data)));
    c.extensions[i].pszObjId = c.extOids[i].data();
    c.extensions[i].fCritical = X509_EXTENSION_get_critical(ext) ? TRUE : FALSE;
    setBlob(c.extensions[i].Value, c.extValues[i]);
  }
  info.cExtension = DWORD(count);
  info.rgExtension = count ? c.extensions.data() : nullptr;
  return true;
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

BOOL fail(DWORD code) {
  SetLastError(code);
  return FALSE;
}

BOOL copyOut(void* out, DWORD* outLen, const void* value, DWORD size) {
  if (out) {
    if (*outLen < size) {
      *outLen = size;
      return fail(ERROR_MORE_DATA);
    }
    std::memcpy(out, value, size);
  }
  *outLen = size;
  return TRUE;
}

Context* liveContext(PCCERT_CONTEXT handle) {
  auto* c = reinterpret_cast<Context*>(const_cast<CERT_CONTEXT*>(handle));
  return handle && liveContexts().count(c) ? c : nullptr;
}

Store* liveStore(HCERTSTORE handle) {
  auto* s = static_cast<Store*>(handle);
  return handle && liveStores().count(s) && s->refs > 0 ? s : nullptr;
}

Store* newStore() {
  auto* store = new Store;
  liveStores().insert(store);
  return store;
}

std::unique_ptr<Context> decodeCertificate(const BYTE* der, DWORD size) {
  if (!der || size < 2 || der[0] != 0x30) {
    SetLastError(DWORD(CRYPT_E_ASN1_BADTAG));
    return nullptr;
  }
  const unsigned char* p = der;
  X509* x = d2i_X509(nullptr, &p, long(size));
  auto c = std::make_unique<Context>();
  bool ok = x && p == der + size && fill(*c, x);
  X509_free(x);
  if (!ok) {
    SetLastError(DWORD(CRYPT_E_ASN1_EOD));
    return nullptr;
  }
  c->encoded.assign(reinterpret_cast<const char*>(der), size);
  unsigned int len = 0;
  EVP_Digest(der, size, c->sha1.data(), &len, EVP_sha1(), nullptr);
  c->ctx.dwCertEncodingType = X509_ASN_ENCODING;
  c->ctx.pbCertEncoded = reinterpret_cast<BYTE*>(c->encoded.data());
  c->ctx.cbCertEncoded = size;
  c->ctx.pCertInfo = &c->info;
  return c;
}

Context* addMember(Store& store, std::unique_ptr<Context> context) {
  Context* c = context.release();
  c->store = &store;
  c->ctx.hCertStore = &store;
  c->member = true;
  c->slot = store.members.size();
  store.members.push_back(c);
  store.all.insert(c);
  liveContexts().insert(c);
  return c;
}

namespace {
// A store closed by every caller goes once its last context has gone.
void maybeFreeStore(Store& store) {
  if (store.refs <= 0 && store.all.empty()) {
    liveStores().erase(&store);
    delete &store;
  }
}
void maybeFree(Context& c) {
  if (c.refs > 0 || c.member) return;
  Store* store = c.store;
  liveContexts().erase(&c);
  if (store) store->all.erase(&c);
  delete &c;
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
      liveContexts().erase(c);
      store.all.erase(c);
      delete c;
    }
  }
  bool pending = !store.all.empty();
  maybeFreeStore(store);
  return pending;
}

void destroyStore(Store& store) {
  for (Context* c : store.all) {
    liveContexts().erase(c);
    delete c;
  }
  store.all.clear();
  store.members.clear();
  liveStores().erase(&store);
  delete &store;
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
  if ((dwCertEncodingType & 0xFFFF) != X509_ASN_ENCODING) {
    SetLastError(DWORD(E_INVALIDARG));
    return nullptr;
  }
  auto c = pw::cert::decodeCertificate(pbCertEncoded, cbCertEncoded);
  if (!c) return nullptr;
  // A context of its own memory store, as crypt32 makes it.
  pw::cert::Store* store = pw::cert::newStore();
  store->refs = 0;
  Context* raw = pw::cert::addMember(*store, std::move(c));
  raw->member = false;
  store->members.clear();
  raw->refs = 1;
  return &raw->ctx;
}

PCCERT_CONTEXT WINAPI CertDuplicateCertificateContext(PCCERT_CONTEXT pCertContext) {
  Context* c = liveContext(pCertContext);
  if (!c) return nullptr;
  ++c->refs;
  return pCertContext;
}

BOOL WINAPI CertFreeCertificateContext(PCCERT_CONTEXT pCertContext) {
  if (Context* c = liveContext(pCertContext)) pw::cert::release(*c);
  return TRUE;
}

BOOL WINAPI CertGetCertificateContextProperty(PCCERT_CONTEXT pCertContext, DWORD dwPropId,
                                              void* pvData, DWORD* pcbData) {
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
}

BOOL WINAPI CertSetCertificateContextProperty(PCCERT_CONTEXT pCertContext, DWORD dwPropId,
                                              DWORD dwFlags, const void* pvData) {
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
  if (c->member && c->store->root && !c->store->readOnly) {
    if (LONG st = pw::cert::persist(*c)) {
      c->props = std::move(before);
      return fail(DWORD(st));
    }
  }
  return TRUE;
}
