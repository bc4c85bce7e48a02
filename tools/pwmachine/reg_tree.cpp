#include "reg_tree.h"

#include "text.h"

#include <algorithm>

namespace pwm::reg {
namespace {

struct Root {
  const char* shortName;
  const char* longName;
  HKEY key;
};

const Root kRoots[] = {
    {"HKLM", "HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {"HKCU", "HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {"HKCR", "HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
    {"HKU", "HKEY_USERS", HKEY_USERS},
};

bool startsWithRoot(std::string_view text, std::string_view name) {
  return text.size() >= name.size() && equalsNoCase(text.substr(0, name.size()), name) &&
         (text.size() == name.size() || text[name.size()] == '\\');
}

// A call may find the data grown between asking for its size and reading it;
// a few rounds settle that.
constexpr int kSizeRounds = 8;

}  // namespace

bool parseKeyPath(std::string_view text, KeyPath* path) {
  for (const auto& root : kRoots) {
    std::string_view name;
    if (startsWithRoot(text, root.shortName))
      name = root.shortName;
    else if (startsWithRoot(text, root.longName))
      name = root.longName;
    else
      continue;
    std::string_view rest = text.substr(name.size());
    if (!rest.empty()) {
      rest.remove_prefix(1);  // the backslash after the root
      if (rest.empty()) return false;
      if (rest.back() == '\\') rest.remove_suffix(1);
      if (rest.empty() || rest.front() == '\\' || rest.back() == '\\' ||
          rest.find("\\\\") != std::string_view::npos)
        return false;
    }
    path->root = root.key;
    path->rootName = root.longName;
    path->sub = std::string(rest);
    return true;
  }
  return false;
}

LONG openKey(const KeyPath& path, REGSAM access, Key* key) {
  return RegOpenKeyExA(path.root, path.sub.c_str(), 0, access, key->out());
}

LONG openSubkey(HKEY parent, const std::string& name, REGSAM access, Key* key) {
  return RegOpenKeyExA(parent, name.c_str(), 0, access, key->out());
}

LONG readValue(HKEY key, const std::string& name, Value* value) {
  DWORD type = REG_NONE, size = 0;
  LONG st = RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size);
  for (int round = 0; st == ERROR_SUCCESS && round < kSizeRounds; ++round) {
    std::string data(size_t(size) + 1, '\0');
    DWORD got = size;
    st = RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                          &got);
    if (st == ERROR_MORE_DATA) {
      size = got;
      st = ERROR_SUCCESS;
      continue;
    }
    if (st != ERROR_SUCCESS) break;
    data.resize(got);
    value->name = name;
    value->type = type;
    value->data = std::move(data);
    return ERROR_SUCCESS;
  }
  return st == ERROR_SUCCESS ? ERROR_MORE_DATA : st;
}

LONG readValues(HKEY key, std::vector<Value>* values) {
  DWORD maxName = 0, maxData = 0;
  if (LONG st = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                 &maxName, &maxData, nullptr, nullptr))
    return st;
  std::string name(std::max<size_t>(maxName + 1, 256), '\0');
  std::string data(std::max<size_t>(maxData, 1), '\0');
  for (DWORD index = 0;; ++index) {
    LONG st = ERROR_MORE_DATA;
    for (int round = 0; st == ERROR_MORE_DATA && round < kSizeRounds; ++round) {
      DWORD nameLen = DWORD(name.size()), dataLen = DWORD(data.size()), type = REG_NONE;
      st = RegEnumValueA(key, index, name.data(), &nameLen, nullptr, &type,
                         reinterpret_cast<BYTE*>(data.data()), &dataLen);
      if (st == ERROR_SUCCESS) {
        values->push_back({name.substr(0, nameLen), type, data.substr(0, dataLen)});
      } else if (st == ERROR_MORE_DATA) {
        // Either buffer may be the short one; the data size is known, the name's is not.
        if (dataLen > data.size())
          data.resize(dataLen);
        else
          name.resize(name.size() * 2);
      }
    }
    if (st == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (st != ERROR_SUCCESS) return st;
  }
}

LONG readSubkeys(HKEY key, std::vector<std::string>* names) {
  std::string name(256, '\0');
  for (DWORD index = 0;; ++index) {
    DWORD len = DWORD(name.size());
    LONG st = RegEnumKeyExA(key, index, name.data(), &len, nullptr, nullptr, nullptr, nullptr);
    if (st == ERROR_MORE_DATA) {  // a multi-byte code page may need more than 256 bytes
      name.resize(2048);
      len = DWORD(name.size());
      st = RegEnumKeyExA(key, index, name.data(), &len, nullptr, nullptr, nullptr, nullptr);
    }
    if (st == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (st != ERROR_SUCCESS) return st;
    names->push_back(name.substr(0, len));
  }
}

}  // namespace pwm::reg
