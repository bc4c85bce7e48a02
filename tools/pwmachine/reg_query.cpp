// `reg query`: a key's values and subkeys in reg.exe's layout. Every run starts
// with a blank line; a key is shown as its full path, its values one a line
// ("    name    TYPE    data"), then a blank line; subkeys follow as full
// paths, or with /s as keys of their own. A key with no values prints no
// heading unless it is reached through /s.
#include "reg.h"
#include "reg_tree.h"
#include "reg_value.h"

#include "console.h"
#include "text.h"

namespace pwm::reg {
namespace {

constexpr const char* kQuery = "query";

std::string valueLine(const std::string& name, DWORD type, const std::string& data) {
  return "    " + (name.empty() ? std::string("(Default)") : name) + "    " + typeName(type) +
         "    " + data + "\n";
}

std::string valueLine(const Value& v) {
  return valueLine(v.name, v.type, displayData(v.type, v.data));
}

// A key that cannot be read is reported and skipped; the run then fails.
int listKey(HKEY key, const std::string& path, bool recurse, bool reached) {
  std::vector<Value> values;
  std::vector<std::string> subkeys;
  if (LONG st = readValues(key, &values); st || (st = readSubkeys(key, &subkeys))) {
    failure(st);
    return 1;
  }
  if (!values.empty() || reached) out(path + "\n");
  for (const auto& v : values) out(valueLine(v));
  if (!values.empty() || reached) out("\n");
  int rc = 0;
  for (const auto& name : subkeys) {
    std::string subPath = path + "\\" + name;
    if (!recurse) {
      out(subPath + "\n");
      continue;
    }
    Key sub;
    if (LONG st = openSubkey(key, name, KEY_READ, &sub)) {
      rc = failure(st);
      continue;
    }
    rc |= listKey(sub.get(), subPath, true, true);
  }
  return rc;
}

// /v or /ve with /s: every key of the tree that has the value, then the count.
int searchValue(HKEY key, const std::string& path, const std::string& name, unsigned* found) {
  Value v;
  LONG st = readValue(key, name, &v);
  if (st == ERROR_SUCCESS) {
    out(path + "\n" + valueLine(v) + "\n");
    ++*found;
  } else if (st != ERROR_FILE_NOT_FOUND) {
    return failure(st);
  }
  std::vector<std::string> subkeys;
  if (LONG st = readSubkeys(key, &subkeys)) return failure(st);
  int rc = 0;
  for (const auto& sub : subkeys) {
    Key child;
    if (LONG st = openSubkey(key, sub, KEY_READ, &child)) {
      rc = failure(st);
      continue;
    }
    rc |= searchValue(child.get(), path + "\\" + sub, name, found);
  }
  return rc;
}

}  // namespace

int runQuery(const Args& args) {
  KeyPath path;
  if (!parseKeyPath(args.positional[0], &path)) return invalidKeyName(kQuery);
  const std::string* name = args.value("v");
  bool unnamed = args.has("ve");
  if (name && unnamed) return syntaxError(kQuery);
  Key key;
  if (LONG st = openKey(path, KEY_READ, &key)) return failure(st);

  bool recurse = args.has("s");
  if (!name && !unnamed) {
    out("\n");
    return listKey(key.get(), path.full(), recurse, false);
  }
  std::string valueName = name ? *name : std::string();
  if (recurse) {
    out("\n");
    unsigned found = 0;
    int rc = searchValue(key.get(), path.full(), valueName, &found);
    out(format("End of search: %u match(es) found.\n", found));
    return rc;
  }
  Value v;
  LONG st = readValue(key.get(), valueName, &v);
  if (st == ERROR_FILE_NOT_FOUND && valueName.empty()) {
    // An unset unnamed value is shown as such, and is no error.
    out("\n");
    out(path.full() + "\n" + valueLine("", REG_SZ, "(value not set)"));
    return 0;
  }
  if (st) return failure(st);
  out("\n");
  out(path.full() + "\n" + valueLine(v) + "\n");
  return 0;
}

}  // namespace pwm::reg
