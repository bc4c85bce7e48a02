// The objects behind certificate stores and certificate contexts, both in the library's
// one handle table. A context is handed out as the address of its CERT_CONTEXT, which
// callers read directly, and the table keys it by that address. Both are honoured only
// while they are live, so stale handles are refused, never followed.
//
// Lifetimes follow crypt32: a context lives while a caller holds a reference to it or it
// is a member of its store; a store lives while it is open or any of its contexts lives.
// Closing with CERT_CLOSE_STORE_FORCE_FLAG frees every context of the store at once.
#pragma once

#include <windows.h>

#include <wincrypt.h>

#include "machine/guard.h"
#include "machine/handles.h"

#include <array>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

namespace pw::cert {

struct Store;

struct Context : pw::handles::ObjectOf<pw::handles::Kind::CertContext> {
  CERT_CONTEXT ctx{};  // its address is the handle
  CERT_INFO info{};
  std::string encoded;
  std::array<BYTE, 20> sha1{};
  // Storage behind the pointers of `info`.
  std::string serial, sigOid, sigParams, issuer, subject, keyOid, keyParams, publicKey;
  std::vector<std::string> extOids, extValues;
  std::vector<CERT_EXTENSION> extensions;
  // Properties by id, in their stored form (CERT_KEY_PROV_INFO_PROP_ID serialized
  // with offsets, as in a store's "Blob").
  std::map<DWORD, std::string> props;

  int refs = 0;  // callers' references
  Store* store = nullptr;
  bool member = false;  // still one of its store's certificates
  size_t slot = 0;      // its place in the store's enumeration order
  // A local machine certificate seen through the current user's "Root" or "CA" store:
  // read-only there, as Windows' logical stores show the machine's part.
  bool inherited = false;
};

struct Store : pw::handles::ObjectOf<pw::handles::Kind::CertStore> {
  int refs = 1;  // open handles
  bool readOnly = false;
  HKEY root = nullptr;               // a system store's hive; null for a memory store
  std::string path;                  // "Software\Microsoft\SystemCertificates\<name>\Certificates"
  std::vector<Context*> members;     // in the order added; null where a member left
  std::unordered_set<Context*> all;  // every living context of this store
  // Enumerated from the last added to the first, as a memory store opened by
  // CertOpenStore is; the others from the first.
  bool newestFirst = false;
  // The store of a context made on its own (CertCreateCertificateContext): closed from
  // the start, it goes with the context, and enumerating it finds nothing.
  bool ofLoneContext = false;
};

// ---- handles ----
Context* liveContext(PCCERT_CONTEXT handle);
Store* liveStore(HCERTSTORE handle);        // open stores only
Store* enumerableStore(HCERTSTORE handle);  // open ones and those of lone contexts
// A store being made: it goes again, with every context added to it, unless kept, so
// that a store whose filling raises leaves nothing behind.
class NewStore {
 public:
  NewStore();  // raises std::bad_alloc when the table cannot take it
  ~NewStore();
  NewStore(const NewStore&) = delete;
  NewStore& operator=(const NewStore&) = delete;
  Store* operator->() const { return store_; }
  Store& operator*() const { return *store_; }
  Store* keep() { return std::exchange(store_, nullptr); }

 private:
  Store* store_;
};
// A new context over a DER certificate, holding no reference and in no store; null
// (with the ASN.1 error as the last error) when the bytes are no certificate. A
// TBSCertificate alone is one; bytes after the certificate are kept with it.
std::unique_ptr<Context> decodeCertificate(const BYTE* der, DWORD size);
// The context as one made on its own, in a store of its own, with one reference.
Context* loneContext(std::unique_ptr<Context> context);
// The hash that tells certificates apart in a store: its CERT_HASH_PROP_ID, as set or as
// computed.
std::string_view hashOf(const Context& context);
// Enters the context into the handle table as a member of `store` and returns it;
// raises std::bad_alloc, with nothing changed, when it cannot.
Context* addMember(Store& store, std::unique_ptr<Context> context);
// Ends a membership (the context dies unless referenced).
void removeMember(Context& context);
void release(Context& context);   // drops one caller's reference
void destroyStore(Store& store);  // frees the store and every context of it
// Ends every membership once the store's last handle is closed; true when callers still
// hold contexts of it (the store goes with the last of them).
bool dropMembers(Store& store);

// The memory store CertOpenStore(CERT_STORE_PROV_PKCS7) opens over the CRYPT_DATA_BLOB
// `para` of a PKCS #7 SignedData message: its certificates. Null with the last error set
// when the bytes are no such message.
HCERTSTORE openMessageStore(const void* para);

// ---- the registry form: the value "Blob" of <store path>\<SHA-1 thumbprint> ----
std::string thumbprint(const Context& context);  // 40 upper-case hex digits
std::string serialize(const Context& context);
// The context a serialized element holds, with its properties; null when damaged.
std::unique_ptr<Context> deserialize(std::string_view element);
// Writes a member of a system store through to the registry, or removes it there.
LONG persist(const Context& context);
LONG unpersist(const Context& context);

// ---- properties ----
std::string storedKeyProvInfo(const CRYPT_KEY_PROV_INFO& info);
bool validStoredKeyProvInfo(std::string_view stored);

// ---- shared helpers: failing with the last error set, and the size protocol
// (machine/guard.h) ----
using pw::copyOut;
using pw::fail;

}  // namespace pw::cert
