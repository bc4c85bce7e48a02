// `reg add`: creates the key and sets one value, the unnamed one unless /v
// names another. A bare `reg add <key>` sets the unnamed value to an empty
// REG_SZ, as reg.exe does.
#include "reg.h"
#include "reg_tree.h"
#include "reg_value.h"

#include "console.h"
#include "text.h"

namespace pwm::reg {
namespace {
constexpr const char* kAdd = "add";
}

int runAdd(const Args& args) {
  KeyPath path;
  if (!parseKeyPath(args.positional[0], &path)) return invalidKeyName(kAdd);
  const std::string* name = args.value("v");
  if (name && args.has("ve")) return syntaxError(kAdd);
  DWORD type = REG_SZ;
  if (const std::string* t = args.value("t"); t && !parseAddType(*t, &type))
    return syntaxError(kAdd, "Invalid type '" + *t + "'.");
  char separator = 0;
  if (const std::string* s = args.value("s")) {
    if (s->size() != 1) return syntaxError(kAdd, "The separator of /s must be one character.");
    separator = (*s)[0];
  }
  const std::string* text = args.value("d");
  if (type == REG_DWORD && !text) return syntaxError(kAdd, "REG_DWORD needs its data, /d.");
  std::string bytes, problem;
  if (!buildData(type, text, separator, &bytes, &problem)) return syntaxError(kAdd, problem);

  Key key;
  DWORD disposition = 0;
  if (LONG st = RegCreateKeyExA(path.root, path.sub.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                KEY_READ | KEY_WRITE, nullptr, key.out(), &disposition))
    return failure(st);
  std::string valueName = name ? *name : std::string();
  if (!args.has("f") && disposition == REG_OPENED_EXISTING_KEY &&
      RegQueryValueExA(key.get(), valueName.c_str(), nullptr, nullptr, nullptr, nullptr) ==
          ERROR_SUCCESS)
    return failure("The value '" + (valueName.empty() ? std::string("(Default)") : valueName) +
                   "' already exists; add /f to overwrite it.");
  if (LONG st = RegSetValueExA(key.get(), valueName.c_str(), 0, type,
                               reinterpret_cast<const BYTE*>(bytes.data()), DWORD(bytes.size())))
    return failure(st);
  success();
  return 0;
}

}  // namespace pwm::reg
