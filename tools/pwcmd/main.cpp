// pwcmd: the client side of pwexe. Builds ready-to-run 'B' and 'N' command texts
// with their check blobs made under the forced key, 'C' and 'A' command texts from an
// authority's certificates, writes command files for 'F', turns the request 'Q' left
// in the registry back into a PEM file, prints the forced key that every client
// making blobs must hold, and explains pwexe's result codes.
#include "base64_encode.h"
#include "check_blob.h"
#include "enrol_text.h"
#include "result_code.h"
#include "value_data.h"

#include "crypto/forced_key.h"
#include "pw_version.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kUsage = 2;
constexpr int kFailed = 1;

struct Verb {
  const char* names;  // the names it answers to, blank-separated
  const char* usage;
  const char* help;
};

const Verb kVerbs[] = {
    {"key", "pwcmd key", "    prints the forced key in hex\n"},
    {"B N", "pwcmd B|N HIVE KEY NAME TYPE KIND DATA [--zero]",
     "    prints a command text that writes one registry value; B checks it with\n"
     "    RC2 through CryptoAPI, N with the light cipher\n"
     "    HIVE  C (current user) or L (local machine)\n"
     "    KEY, NAME  the key path (made when absent) and the value's name, no comma\n"
     "    TYPE  B (REG_BINARY), D (REG_DWORD) or S (REG_SZ)\n"
     "    KIND  text, hex, number (32-bit, little-endian) or file\n"
     "    --zero  appends a zero byte (a REG_SZ value's terminator)\n"},
    {"file", "pwcmd file PATH TEXT",
     "    writes TEXT to the command file PATH and prints the 'F' command for it\n"},
    {"C A", "pwcmd C|A FILE",
     "    prints the command text that installs the certificate (C) or the authority's\n"
     "    certificates (A) of FILE: one certificate or a PKCS #7 message, PEM or DER\n"},
    {"request", "pwcmd request",
     "    prints the request that Q stored in the registry as a PEM certificate request\n"},
    {"code", "pwcmd code [N]",
     "    prints what pwexe's result code N means (every code without N); an exit\n"
     "    status of 1 to 255 names the codes whose low 8 bits it keeps\n"},
};

bool isHelp(const std::string& arg) { return arg == "--help" || arg == "-h"; }

const Verb* findVerb(const std::string& name) {
  for (const Verb& verb : kVerbs) {
    std::string names = std::string(" ") + verb.names + " ";
    if (!name.empty() && name.find(' ') == std::string::npos &&
        names.find(" " + name + " ") != std::string::npos)
      return &verb;
  }
  return nullptr;
}

int help(const Verb* only = nullptr) {
  if (!only) std::fputs("usage:\n", stdout);
  for (const Verb& verb : kVerbs)
    if (!only || only == &verb) std::printf("  %s\n%s", verb.usage, verb.help);
  if (!only)
    std::fputs(
        "  pwcmd --help | -h, pwcmd VERB --help\n    prints this text, or a verb's\n"
        "  pwcmd --version\n    prints the version\n",
        stdout);
  return 0;
}

// One line on what was wrong and where to read more, as command-line tools do.
int usage(const std::string& problem) {
  std::fprintf(stderr, "pwcmd: %s\nTry 'pwcmd --help' for more information.\n", problem.c_str());
  return kUsage;
}

int failed(const std::string& problem) {
  std::fprintf(stderr, "pwcmd: %s\n", problem.c_str());
  return kFailed;
}

int printKey() {
  for (BYTE b : forcedKey()) std::printf("%02x", b);
  std::printf("\n");
  return 0;
}

// A field of a command text cannot hold a comma: every comma separates fields.
bool fitsField(const std::string& text) { return text.find(',') == std::string::npos; }

int blobCommand(const std::vector<std::string>& args) {
  const std::string& letter = args[0];
  bool zero = args.size() == 8 && args[7] == "--zero";
  if (args.size() != 7 && !zero) return usage("B and N take HIVE KEY NAME TYPE KIND DATA [--zero]");
  const std::string &hive = args[1], &key = args[2], &name = args[3], &type = args[4];
  if (hive != "C" && hive != "L") return usage("HIVE is C or L");
  if (type != "B" && type != "D" && type != "S") return usage("TYPE is B, D or S");
  if (!fitsField(key) || !fitsField(name)) return usage("KEY and NAME cannot hold a comma");

  std::vector<BYTE> data;
  std::string failure;
  if (!readValueData(args[5], args[6], &data, &failure)) return failed(failure);
  if (zero) data.push_back(0);
  if (data.empty()) return failed("the value data is empty; pwexe writes no empty value");

  std::vector<BYTE> blob;
  if (letter == "B") {
    if (!rc2CheckBlob(data, &blob, &failure)) return failed(failure);
  } else {
    blob = lightCheckBlob(data);
  }
  std::string text = letter + "," + hive + "," + key + "," + name + "," + type + "," +
                     base64Encode(data) + "," + base64Encode(blob);
  std::printf("%s\n", text.c_str());
  return 0;
}

int commandFile(const std::vector<std::string>& args) {
  if (args.size() != 3) return usage("file takes PATH TEXT");
  const std::string &path = args[1], &text = args[2];
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return failed("cannot create the file " + path);
  DWORD written = 0;
  bool ok =
      WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr) && written == text.size();
  CloseHandle(file);
  if (!ok) return failed("cannot write the file " + path);
  std::printf("F,%s\n", path.c_str());
  return 0;
}

int answer(const std::vector<std::string>& args) {
  if (args.size() != 2) return usage("C and A take FILE");
  std::string text, failure;
  if (!answerCommand(args[0][0], args[1], &text, &failure)) return failed(failure);
  std::printf("%s\n", text.c_str());
  return 0;
}

int request() {
  std::string pem, failure;
  if (!requestPem(&pem, &failure)) return failed(failure);
  std::fputs(pem.c_str(), stdout);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) return usage("no verb given");
  if (isHelp(args[0])) return help();
  if (args[0] == "--version") {
    std::printf("pwcmd %s\n", PW_VERSION);
    return 0;
  }
  const Verb* verb = findVerb(args[0]);
  if (!verb) return usage("unknown verb '" + args[0] + "'");
  if (args.size() == 2 && isHelp(args[1])) return help(verb);
  const std::string& name = args[0];
  if (name == "key") return args.size() == 1 ? printKey() : usage("key takes no argument");
  if (name == "B" || name == "N") return blobCommand(args);
  if (name == "file") return commandFile(args);
  if (name == "C" || name == "A") return answer(args);
  if (name == "request") return args.size() == 1 ? request() : usage("request takes no argument");
  if (args.size() > 2) return usage("code takes one result code");
  return explainCode(args.size() == 2 ? args[1] : std::string());
}
