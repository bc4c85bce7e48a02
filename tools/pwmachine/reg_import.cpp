// `reg import`: applies a registry script through the A functions. A line that
// cannot be read or applied is reported with its number and skipped; the rest
// of the script is still applied, and the run then fails.
#include "reg.h"
#include "reg_script.h"
#include "reg_tree.h"

#include "console.h"
#include "file.h"
#include "text.h"

namespace pwm::reg {
namespace {

class Importer : public ScriptSink {
 public:
  explicit Importer(std::string file) : file_(std::move(file)) {}

  unsigned problems() const { return problems_; }

  void key(size_t line, const std::string& path) override {
    key_.reset();
    keyLine_ = line;
    KeyPath kp;
    if (!parseKeyPath(path, &kp)) return problem(line, "'" + path + "' is not a key name");
    if (LONG st = RegCreateKeyExA(kp.root, kp.sub.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_READ | KEY_WRITE, nullptr, key_.out(), nullptr))
      problem(line, format("the key cannot be created or opened (error %ld)", long(st)));
  }

  void deleteKey(size_t line, const std::string& path) override {
    key_.reset();
    keyLine_ = line;
    KeyPath kp;
    if (!parseKeyPath(path, &kp)) return problem(line, "'" + path + "' is not a key name");
    if (kp.sub.empty()) return problem(line, "a root key cannot be deleted");
    LONG st = deleteTree(kp.root, kp.sub);
    if (st && st != ERROR_FILE_NOT_FOUND)
      problem(line, format("the key cannot be deleted (error %ld)", long(st)));
  }

  void value(size_t line, const std::string& name, DWORD type, const std::string& data) override {
    if (!usableKey(line)) return;
    if (LONG st = RegSetValueExA(key_.get(), name.c_str(), 0, type,
                                 reinterpret_cast<const BYTE*>(data.data()), DWORD(data.size())))
      problem(line, format("the value cannot be set (error %ld)", long(st)));
  }

  void deleteValue(size_t line, const std::string& name) override {
    if (!usableKey(line)) return;
    LONG st = RegDeleteValueA(key_.get(), name.c_str());
    if (st && st != ERROR_FILE_NOT_FOUND)
      problem(line, format("the value cannot be deleted (error %ld)", long(st)));
  }

  void problem(size_t line, std::string_view what) override {
    ++problems_;
    err(format("%s, line %lu: ", file_.c_str(), static_cast<unsigned long>(line)) +
        std::string(what) + ".\n");
  }

 private:
  // Values belong to the key of the last [key] line; after a key that failed
  // they are skipped quietly, the key's own line having been reported.
  bool usableKey(size_t line) {
    if (key_) return true;
    if (keyLine_ == 0) problem(line, "a value before any [key] line");
    return false;
  }

  std::string file_;
  Key key_;
  size_t keyLine_ = 0;
  unsigned problems_ = 0;
};

}  // namespace

int runImport(const Args& args) {
  const std::string& file = args.positional[0];
  std::string bytes;
  if (DWORD st = readFile(file, &bytes))
    return failure(format("Unable to read the file '%s' (error %lu).", file.c_str(),
                          static_cast<unsigned long>(st)));
  Importer importer(file);
  if (!readScript(bytes, &importer))
    return failure("'" + file + "' is not a registry script: its first line must be \"" +
                   "Windows Registry Editor Version 5.00\" or \"REGEDIT4\".");
  if (importer.problems())
    return failure(
        format("%u line(s) of '%s' could not be imported.", importer.problems(), file.c_str()));
  success();
  return 0;
}

}  // namespace pwm::reg
