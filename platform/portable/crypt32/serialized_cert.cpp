// A certificate as Windows keeps it in a registry-backed system store: the value "Blob"
// of the key named by its SHA-1 thumbprint, holding the serialized store element. The
// element is a run of (property id, 1, byte count, bytes) records, the properties first
// and the encoded certificate last under the reserved id 32; the key-provider
// information is kept with offsets in place of pointers.
#include "crypt32/cert_objects.h"

#include <cstring>

namespace pw::cert {
namespace {

constexpr DWORD kCertElement = 32;  // CERT_CERT_PROP_ID

struct Header {
  DWORD propId, one, size;
};

void appendRecord(std::string& out, DWORD id, std::string_view data) {
  Header h{id, 1, DWORD(data.size())};
  out.append(reinterpret_cast<const char*>(&h), sizeof h);
  out.append(data);
}

}  // namespace

std::string thumbprint(const Context& context) {
  static const char* digits = "0123456789ABCDEF";
  std::string s;
  for (BYTE b : context.sha1) s += {digits[b >> 4], digits[b & 15]};
  return s;
}

std::string serialize(const Context& context) {
  std::map<DWORD, std::string_view> props(context.props.begin(), context.props.end());
  std::string_view sha1(reinterpret_cast<const char*>(context.sha1.data()), context.sha1.size());
  props.emplace(CERT_SHA1_HASH_PROP_ID, sha1);
  std::string out;
  for (const auto& [id, data] : props) appendRecord(out, id, data);
  appendRecord(out, kCertElement, context.encoded);
  return out;
}

std::unique_ptr<Context> deserialize(std::string_view element) {
  std::map<DWORD, std::string> props;
  std::string_view cert;
  while (element.size() >= sizeof(Header)) {
    Header h;
    std::memcpy(&h, element.data(), sizeof h);
    element.remove_prefix(sizeof h);
    if (h.one != 1 || h.size > element.size()) return nullptr;
    std::string_view data = element.substr(0, h.size);
    element.remove_prefix(h.size);
    if (h.propId == kCertElement) {
      cert = data;
    } else if (h.propId == CERT_KEY_PROV_INFO_PROP_ID && !validStoredKeyProvInfo(data)) {
      return nullptr;
    } else if (h.propId != CERT_SHA1_HASH_PROP_ID && h.propId != 0) {
      props[h.propId] = std::string(data);
    }
  }
  if (!element.empty() || cert.empty()) return nullptr;
  auto context = decodeCertificate(reinterpret_cast<const BYTE*>(cert.data()), DWORD(cert.size()));
  if (context) context->props = std::move(props);
  return context;
}

LONG persist(const Context& context) {
  const Store& store = *context.store;
  HKEY key;
  std::string path = store.path + "\\" + thumbprint(context);
  LONG st = RegCreateKeyExA(store.root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_WRITE, nullptr, &key, nullptr);
  if (st) return st;
  std::string blob = serialize(context);
  st = RegSetValueExA(key, "Blob", 0, REG_BINARY, reinterpret_cast<const BYTE*>(blob.data()),
                      DWORD(blob.size()));
  RegCloseKey(key);
  return st;
}

LONG unpersist(const Context& context) {
  const Store& store = *context.store;
  std::string path = store.path + "\\" + thumbprint(context);
  LONG st = RegDeleteKeyA(store.root, path.c_str());
  return st == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : st;
}

}  // namespace pw::cert
