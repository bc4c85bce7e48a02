// The steps are regsvr32's: OleInitialize, LoadLibrary, the library's
// DllRegisterServer or DllUnregisterServer (and DllInstall with /i), FreeLibrary,
// OleUninitialize; each failure has its exit code. What regsvr32 shows in a message
// box goes to the console: a failure to standard error always, the success to
// standard output unless /s is given.
#include "regsvr32.h"

#include <windows.h>

#include <objbase.h>

#include "console.h"
#include "text.h"

#include <string>
#include <string_view>
#include <vector>

namespace pwm::regsvr32 {
namespace {

enum Exit { kOk = 0, kFailArgs = 1, kFailOle = 2, kFailLoad = 3, kFailEntry = 4, kFailReg = 5 };

struct Options {
  bool silent = false;
  bool unregister = false;
  bool noRegister = false;
  bool install = false;
  std::u16string installLine;
  std::vector<std::string> libraries;
};

using ServerCall = HRESULT(STDAPICALLTYPE*)();
using InstallCall = HRESULT(STDAPICALLTYPE*)(BOOL, LPCWSTR);

template <class Call>
Call entry(HMODULE module, const char* name) {
  return reinterpret_cast<Call>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

bool parse(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg.size() < 2 || (arg[0] != '/' && arg[0] != '-')) {
      options->libraries.emplace_back(arg);
      continue;
    }
    std::string_view name = arg.substr(1);
    if (equalsNoCase(name, "u")) {
      options->unregister = true;
    } else if (equalsNoCase(name, "s")) {
      options->silent = true;
    } else if (equalsNoCase(name, "n")) {
      options->noRegister = true;
    } else if (equalsNoCase(name.substr(0, 1), "i") && (name.size() == 1 || name[1] == ':')) {
      options->install = true;
      for (char c : name.substr(name.size() > 1 ? 2 : 1)) options->installLine += char16_t(c);
    } else {
      err("regsvr32: Unrecognized flag: " + std::string(arg) + "\n");
      return false;
    }
  }
  if (options->libraries.empty()) {
    err("regsvr32: To register a module, you must provide a binary name.\n");
    return false;
  }
  if (options->noRegister && !options->install) {
    err("regsvr32: /n takes /i: without it there is nothing to call.\n");
    return false;
  }
  return true;
}

std::string quoted(const std::string& library) { return "The module \"" + library + "\""; }

Exit entryMissing(const std::string& library, const char* name) {
  err("regsvr32: " + quoted(library) + " was loaded but the entry-point " + name +
      " was not found.\n");
  return kFailEntry;
}

Exit callFailed(const std::string& library, const char* name, HRESULT hr) {
  err("regsvr32: " + quoted(library) + " was loaded but the call to " + name +
      format(" failed with error code 0x%08lx.\n", (unsigned long)hr));
  return kFailReg;
}

Exit process(const Options& options, const std::string& library) {
  HMODULE module = LoadLibraryA(library.c_str());
  if (!module) {
    err("regsvr32: " + quoted(library) +
        format(" failed to load (error %lu).\n", (unsigned long)GetLastError()));
    return kFailLoad;
  }
  Exit result = kOk;
  const char* name = options.unregister ? "DllUnregisterServer" : "DllRegisterServer";
  if (!options.noRegister) {
    if (auto call = entry<ServerCall>(module, name); !call)
      result = entryMissing(library, name);
    else if (HRESULT hr = call(); FAILED(hr))
      result = callFailed(library, name, hr);
  }
  if (result == kOk && options.install) {
    name = "DllInstall";
    if (auto call = entry<InstallCall>(module, name); !call)
      result = entryMissing(library, name);
    else if (HRESULT hr =
                 call(!options.unregister, reinterpret_cast<LPCWSTR>(options.installLine.c_str()));
             FAILED(hr))
      result = callFailed(library, name, hr);
  }
  FreeLibrary(module);
  if (result == kOk && !options.silent) out(std::string(name) + " in " + library + " succeeded.\n");
  return result;
}

}  // namespace

int runRegsvr32(int argc, char** argv) {
  if (argc == 2 && isHelpSwitch(argv[1])) {
    out("Usage: pwmachine regsvr32 [/u] [/s] [/n] [/i[:cmdline]] library...\n"
        "  /u  remove the library's classes instead of registering them\n"
        "  /s  silent: no message on success (a failure is always told on standard error)\n"
        "  /i  call DllInstall, with the command line after ':'\n"
        "  /n  do not call DllRegisterServer or DllUnregisterServer; only with /i\n"
        "Exit codes: 0 done, 1 bad arguments, 2 OLE not initialised, 3 library not\n"
        "found, 4 entry point not found, 5 the library's registration failed.\n");
    return kOk;
  }
  Options options;
  if (!parse(argc, argv, &options)) return kFailArgs;
  if (HRESULT hr = OleInitialize(nullptr); FAILED(hr)) {
    err(format("regsvr32: OleInitialize failed with error code 0x%08lx.\n", (unsigned long)hr));
    return kFailOle;
  }
  Exit result = kOk;
  for (const std::string& library : options.libraries)
    if (Exit status = process(options, library); status != kOk && result == kOk) result = status;
  OleUninitialize();
  return result;
}

}  // namespace pwm::regsvr32
