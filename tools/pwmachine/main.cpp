// pwmachine administers a machine through the Win32 API alone, so that the one
// source serves the emulated workstation and a real (or Wine's) Windows alike.
// Each sub-command takes the rest of the command line.
#include "certutil.h"
#include "console.h"
#include "prune.h"
#include "reg.h"
#include "regsvr32.h"
#include "system_info.h"
#include "text.h"
#include "trace_viewer.h"

#include "pw_version.h"

#include <string_view>

namespace {

struct Command {
  const char* name;
  const char* summary;
  int (*run)(int argc, char** argv);  // argv[0] is the sub-command's name
};

const Command kCommands[] = {
    {"reg", "the registry: query, add, delete, export, import, as reg.exe does them",
     pwm::reg::runReg},
    {"certutil", "certificate stores and key containers, as certutil.exe does them",
     pwm::certutil::runCertutil},
    {"regsvr32", "registers (or with /u removes) the classes of a library, as regsvr32 does",
     pwm::regsvr32::runRegsvr32},
    {"volume", "the file system each volume reports, and setting it", pwm::system::runVolume},
    {"ver", "the operating-system version the machine reports, and setting it",
     pwm::system::runVer},
    {"log", "the last runs of pwexe's trace log", pwm::trace::runLog},
    {"prune", "removes a key tree however deep: the repair of a hive written by hand",
     pwm::prune::runPrune},
};

int usage() {
  std::string text =
      "Usage:\n"
      "  pwmachine <command> [parameters]\n\n"
      "Commands:\n";
  for (const auto& c : kCommands) text += pwm::format("  %-9s %s\n", c.name, c.summary);
  text += pwm::format("  %-9s %s\n", "--help", "this text (also -h, /? and help)");
  text += pwm::format("  %-9s %s\n", "--version", "the version of pwmachine");
  text += "\nType \"pwmachine <command> --help\" (or /?) for the parameters of one command.\n";
  pwm::out(text);
  return 0;
}

int usageError(const std::string& problem) {
  pwm::err("ERROR: " + problem + "\nType \"pwmachine --help\" for the commands.\n");
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usageError("No command given.");
  std::string_view name = argv[1];
  if (pwm::equalsNoCase(name, "help") || pwm::isHelpSwitch(name)) return usage();
  if (name == "--version") {
    pwm::out(std::string("pwmachine ") + PW_VERSION + "\n");
    return 0;
  }
  for (const auto& c : kCommands)
    if (pwm::equalsNoCase(name, c.name)) return c.run(argc - 1, argv + 1);
  return usageError("Unknown command '" + std::string(name) + "'.");
}
