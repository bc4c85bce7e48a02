// `reg delete`: a whole key tree, one value, the unnamed value, or all of a
// key's values. Always needs /f, since reg.exe would ask first.
#include "reg.h"
#include "reg_tree.h"

#include "console.h"

namespace pwm::reg {
namespace {
constexpr const char* kDelete = "delete";
}

// Every operation opens as reg.exe's do (its name for messages, the key, then /v);
// each keeps that opening, so that it reads whole on its own.
int runDelete(const Args& args) {
  KeyPath path;
  if (!parseKeyPath(args.positional[0], &path)) return invalidKeyName(kDelete);
  const std::string* name = args.value("v");
  bool unnamed = args.has("ve"), all = args.has("va");
  if (int(name != nullptr) + int(unnamed) + int(all) > 1) return syntaxError(kDelete);
  if (!args.has("f"))
    return failure("Deleting needs /f: reg.exe would ask for confirmation, pwmachine never asks.");

  if (!name && !unnamed && !all) {
    if (path.sub.empty()) return failure("A root key cannot be deleted.");
    if (LONG st = deleteTree(path.root, path.sub)) return failure(st);
    success();
    return 0;
  }
  Key key;
  if (LONG st = openKey(path, KEY_READ | KEY_WRITE, &key)) return failure(st);
  if (all) {
    std::vector<Value> values;
    if (LONG st = readValues(key.get(), &values)) return failure(st);
    for (const auto& v : values)
      if (LONG st = RegDeleteValueA(key.get(), v.name.c_str())) return failure(st);
  } else {
    std::string valueName = name ? *name : std::string();
    if (LONG st = RegDeleteValueA(key.get(), valueName.c_str())) return failure(st);
  }
  success();
  return 0;
}

}  // namespace pwm::reg
