// The `reg` sub-command: picks the operation, answers /?, and checks the
// switches every operation shares the syntax of.
#include "reg.h"

#include "console.h"
#include "text.h"

namespace pwm::reg {
namespace {

constexpr const char* kKeyHelp =
    "  <key>  ROOT\\Subkey, ROOT being HKLM, HKCU, HKCR or HKU, or the long names\n"
    "         HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_CLASSES_ROOT, HKEY_USERS.\n";

constexpr const char* kViewHelp =
    "  /reg:64  accepted for reg.exe's sake; it changes nothing, pwmachine always\n"
    "           works on the 64-bit registry.\n";

struct Operation {
  const char* name;
  int (*run)(const Args&);
  size_t positional;  // leading arguments that are not switches
  const char* flags;  // blank-separated switches without an argument
  const char* withArg;
  const char* usage;
};

const Operation kOperations[] = {
    {"query", runQuery, 1, "ve s reg:64", "v",
     "pwmachine reg query <key> [/v <name> | /ve] [/s]\n\n"
     "  Lists the values and the subkeys of <key> as reg.exe does.\n\n"
     "  /v <name>  only the value <name>.\n"
     "  /ve        only the unnamed value, \"(Default)\".\n"
     "  /s         every key below <key> too; with /v or /ve, searches them all for the\n"
     "             value and counts the matches.\n"},
    {"add", runAdd, 1, "ve f reg:64", "v t s d",
     "pwmachine reg add <key> [/v <name> | /ve] [/t <type>] [/s <separator>] [/d <data>] [/f]\n\n"
     "  Creates <key> if needed and sets a value in it: <name>, or the unnamed\n"
     "  value with /ve or when neither /v nor /ve is given.\n\n"
     "  /t <type>  REG_SZ (the default), REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD,\n"
     "             REG_QWORD, REG_BINARY or REG_NONE.\n"
     "  /s <c>     the character between the strings of REG_MULTI_SZ data; without\n"
     "             it they are separated by the two characters \\0.\n"
     "  /d <data>  text; a number, decimal or 0x hexadecimal, for REG_DWORD (which\n"
     "             needs /d) and REG_QWORD; hexadecimal digits for REG_BINARY.\n"
     "  /f         overwrite an existing value. Without /f an existing value is\n"
     "             left as it is and the command fails (reg.exe would ask).\n"},
    {"delete", runDelete, 1, "ve va f reg:64", "v",
     "pwmachine reg delete <key> [/v <name> | /ve | /va] /f\n\n"
     "  Deletes <key> with every key and value below it, or only values of it:\n\n"
     "  /v <name>  the value <name>.\n"
     "  /ve        the unnamed value, \"(Default)\".\n"
     "  /va        all the values of <key>; its subkeys stay.\n"
     "  /f         required: reg.exe would ask for confirmation, pwmachine refuses.\n"},
    {"export", runExport, 2, "y reg:64", "",
     "pwmachine reg export <key> <file> [/y]\n\n"
     "  Writes <key> and everything below it to <file> as a registry script\n"
     "  (\"Windows Registry Editor Version 5.00\", UTF-16 text).\n\n"
     "  /y  overwrite <file>. Without /y an existing file is left as it is and the\n"
     "      command fails (reg.exe would ask).\n"},
    {"import", runImport, 1, "reg:64", "",
     "pwmachine reg import <file>\n\n"
     "  Applies a registry script: \"Windows Registry Editor Version 5.00\" (UTF-16\n"
     "  or ANSI text) or \"REGEDIT4\" (ANSI text), with its [-key] and \"name\"=-\n"
     "  deletions.\n"},
};

constexpr const char* kUsage =
    "Usage:\n"
    "  pwmachine reg <operation> [parameters]\n\n"
    "Operations:\n"
    "  QUERY | ADD | DELETE | EXPORT | IMPORT\n\n"
    "Type \"pwmachine reg <operation> --help\" (or /?) for the parameters of one of them.\n";

bool listed(std::string_view list, std::string_view name) {
  while (!list.empty()) {
    size_t cut = list.find(' ');
    if (list.substr(0, cut) == name) return true;
    if (cut == std::string_view::npos) break;
    list.remove_prefix(cut + 1);
  }
  return false;
}

// Positional arguments first, then switches, each at most once, as reg.exe wants.
bool parseArgs(const Operation& op, int argc, char** argv, Args* args) {
  int i = 0;
  for (; i < argc && args->positional.size() < op.positional; ++i) {
    args->positional.emplace_back(argv[i]);
  }
  if (args->positional.size() < op.positional) return false;
  for (; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg.size() < 2 || (arg[0] != '/' && arg[0] != '-')) return false;
    std::string name = toLower(arg.substr(1));
    if (args->has(name)) return false;
    if (listed(op.flags, name)) {
      args->switches[name] = "";
    } else if (listed(op.withArg, name)) {
      if (i + 1 >= argc) return false;
      args->switches[name] = argv[++i];
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

int syntaxError(std::string_view operation, std::string_view detail) {
  std::string text = "ERROR: ";
  text += detail.empty() ? std::string_view("Invalid syntax.") : detail;
  text += "\nType \"pwmachine reg ";
  if (!operation.empty()) text += toLower(operation) + " ";
  text += "--help\" for usage.\n";
  err(text);
  return 1;
}

int invalidKeyName(std::string_view operation) {
  return syntaxError(operation, "Invalid key name.");
}

int failure(std::string_view message) {
  err("ERROR: " + std::string(message) + "\n");
  return 1;
}

int failure(LONG status) {
  switch (status) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return failure("The system was unable to find the specified registry key or value.");
    case ERROR_ACCESS_DENIED:
      return failure("Access is denied.");
    case ERROR_INVALID_HANDLE:
      return failure("This root key is not available on this machine.");
    case ERROR_INVALID_PARAMETER:
      return failure("The registry refused a name or the data (error 87: invalid parameter).");
    case ERROR_NO_SYSTEM_RESOURCES:  // a key deeper than the registry allows
      return failure("Insufficient system resources exist to complete the requested service.");
    default:
      return failure(format("The registry operation failed with error %ld.", long(status)));
  }
}

void success() { out("The operation completed successfully.\n"); }

int runReg(int argc, char** argv) {
  // argv[0] is "reg" itself.
  if (argc < 2) return syntaxError({});
  if (isHelpSwitch(argv[1])) {
    out(kUsage);
    return 0;
  }
  const Operation* op = nullptr;
  for (const auto& candidate : kOperations)
    if (equalsNoCase(argv[1], candidate.name)) op = &candidate;
  if (!op) return syntaxError({}, "Invalid operation '" + std::string(argv[1]) + "'.");
  if (argc == 2) return syntaxError(op->name);
  if (isHelpSwitch(argv[2])) {
    if (argc > 3) return syntaxError(op->name);
    out(op->usage);
    out("\n");
    if (std::string_view(op->name) != "import") out(kKeyHelp);
    out(kViewHelp);
    return 0;
  }
  Args args;
  if (!parseArgs(*op, argc - 2, argv + 2, &args)) return syntaxError(op->name);
  return op->run(args);
}

}  // namespace pwm::reg
