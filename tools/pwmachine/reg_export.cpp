// `reg export`: a key and everything below it as a registry script. The script
// is built whole before the file is created, so a key that cannot be read
// leaves no half-written file behind.
#include "reg.h"
#include "reg_script.h"
#include "reg_tree.h"

#include "console.h"
#include "file.h"
#include "text.h"

namespace pwm::reg {
namespace {

constexpr const char* kExport = "export";

// Values first, then each subkey with its own tree, as the registry editor writes them.
LONG exportKey(HKEY key, const std::string& path, WString* script) {
  appendKeyHeading(script, path);
  std::vector<Value> values;
  if (LONG st = readValues(key, &values)) return st;
  for (const auto& v : values) appendValue(script, v);
  std::vector<std::string> subkeys;
  if (LONG st = readSubkeys(key, &subkeys)) return st;
  for (const auto& name : subkeys) {
    Key sub;
    if (LONG st = openSubkey(key, name, KEY_READ, &sub)) return st;
    if (LONG st = exportKey(sub.get(), path + "\\" + name, script)) return st;
  }
  return ERROR_SUCCESS;
}

}  // namespace

int runExport(const Args& args) {
  KeyPath path;
  if (!parseKeyPath(args.positional[0], &path)) return invalidKeyName(kExport);
  const std::string& file = args.positional[1];
  Key key;
  if (LONG st = openKey(path, KEY_READ, &key)) return failure(st);
  WString script = scriptHeader();
  if (LONG st = exportKey(key.get(), path.full(), &script)) return failure(st);
  script += widen("\r\n");
  DWORD st = writeFile(file, scriptBytes(script), args.has("y"));
  if (st == ERROR_FILE_EXISTS)
    return failure("The file '" + file + "' already exists; add /y to overwrite it.");
  if (st)
    return failure(format("Unable to write the file '%s' (error %lu).", file.c_str(),
                          static_cast<unsigned long>(st)));
  success();
  return 0;
}

}  // namespace pwm::reg
