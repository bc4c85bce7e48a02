#include "advapi32/open_key.h"

#include "advapi32/key_path.h"
#include "machine/codepage.h"

#include <unistd.h>
#include <cstdint>
#include <cstring>
#include <memory>

namespace pw::registry {
namespace {

// HKEY_CLASSES_ROOT (0x80000000) to HKEY_DYN_DATA (0x80000006).
constexpr uint32_t kFirstPredefined = 0x80000000u, kLastPredefined = 0x80000006u;

uint32_t low32(const void* h) { return uint32_t(reinterpret_cast<uintptr_t>(h)); }

// The current user's key below HKEY_USERS, named by the account's SID as Windows names it.
// The account's number is its relative identifier (from 1000, as Windows numbers the
// accounts it makes); every emulated machine has the same machine identifier, as clones
// of one installation do.
const std::string& currentUserSid() {
  static const std::string sid =
      "S-1-5-21-1004336348-1177238915-682003330-" + std::to_string(1000 + ::geteuid());
  return sid;
}

constexpr const char* kDefaultUser = ".DEFAULT";

}  // namespace

bool isPredefined(HKEY h) {
  uint32_t value = low32(h);
  return value >= kFirstPredefined && value <= kLastPredefined;
}

bool isPredefined(HKEY h, HKEY which) { return isPredefined(h) && low32(h) == low32(which); }

LONG resolve(HKEY h, OpenKey* key) {
  if (!isPredefined(h)) {
    auto* object = pw::handles::objectFor<KeyObject>(h);
    if (!object) return ERROR_INVALID_HANDLE;
    *key = object->key;
    return ERROR_SUCCESS;
  }
  uint32_t which = low32(h);
  *key = OpenKey{};
  key->access = KEY_ALL_ACCESS;
  if (which == low32(HKEY_USERS)) {
    key->level = 2;  // \REGISTRY\USER
    return ERROR_SUCCESS;
  }
  if (which != low32(HKEY_LOCAL_MACHINE) && which != low32(HKEY_CURRENT_USER) &&
      which != low32(HKEY_CLASSES_ROOT))
    return ERROR_INVALID_HANDLE;  // performance data, configuration: not kept
  HiveId hive = which == low32(HKEY_CURRENT_USER) ? HiveId::User : HiveId::Machine;
  key->hive = Hive::get(hive);
  if (!key->hive) return ERROR_REGISTRY_IO_FAILED;
  key->id = Hive::kRootId;
  key->level = rootLevel(hive);
  if (which == low32(HKEY_CLASSES_ROOT)) {  // the machine's classes; no per-user merge
    key->level = kClassesRootLevel;
    return key->hive->createPath(Hive::kRootId, {"Software", "Classes"}, &key->id, nullptr);
  }
  return ERROR_SUCCESS;
}

LONG newHandle(const OpenKey& key, PHKEY result) {
  // An object whose address reads as a predefined handle in its low 32 bits would be
  // taken for that handle: such an address is passed over.
  std::vector<std::unique_ptr<KeyObject>> passedOver;
  auto object = std::make_unique<KeyObject>();
  while (isPredefined(reinterpret_cast<HKEY>(static_cast<pw::handles::Object*>(object.get())))) {
    passedOver.push_back(std::move(object));
    object = std::make_unique<KeyObject>();
  }
  object->key = key;
  HKEY h = pw::handles::addObject<HKEY>(std::move(object));
  if (!h) return ERROR_NOT_ENOUGH_MEMORY;
  *result = h;
  return ERROR_SUCCESS;
}

LONG needs(REGSAM granted, REGSAM right) {
  return (granted & right) == right ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

std::vector<std::string> usersSubKeys() { return {kDefaultUser, currentUserSid()}; }

LONG enterUsers(OpenKey* from, std::vector<std::string>* path, LONG unknown) {
  if (!from->isUsers() || path->empty()) return ERROR_SUCCESS;
  std::string first = codepage::foldAnsi(path->front());
  HiveId hive;
  if (first == kDefaultUser)
    hive = HiveId::DefaultUser;
  else if (first == codepage::foldAnsi(currentUserSid()))
    hive = HiveId::User;
  else
    return unknown;
  from->hive = Hive::get(hive);
  if (!from->hive) return ERROR_REGISTRY_IO_FAILED;
  from->id = Hive::kRootId;
  from->level = rootLevel(hive);
  path->erase(path->begin());
  return ERROR_SUCCESS;
}

LONG copyValueData(DWORD type, const std::string& data, LPBYTE out, DWORD room) {
  if (!out) return ERROR_SUCCESS;
  if (data.size() > room) return ERROR_MORE_DATA;
  if (data.empty()) return ERROR_SUCCESS;  // the buffer is left as it is
  std::memcpy(out, data.data(), data.size());
  bool isString = type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
  if (isString && data.size() < room && data.back() != '\0') out[data.size()] = '\0';
  return ERROR_SUCCESS;
}

}  // namespace pw::registry
