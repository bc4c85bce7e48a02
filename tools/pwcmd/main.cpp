// pwcmd: the client side of pwexe. Builds ready-to-run 'B' and 'N' command texts
// with their check blobs made under the forced key, 'C' and 'A' command texts from an
// authority's certificates, writes command files for 'F', turns the request 'Q' left
// in the registry back into a PEM file, and prints the forced key that every client
// making blobs must hold.
#include "base64_encode.h"
#include "check_blob.h"
#include "enrol_text.h"
#include "value_data.h"

#include "crypto/forced_key.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kUsage = 2;
constexpr int kFailed = 1;

constexpr const char* kHelp =
    "usage:\n"
    "  pwcmd key\n"
    "      prints the forced key in hex\n"
    "  pwcmd B|N HIVE KEY NAME TYPE KIND DATA [--zero]\n"
    "      prints a command text that writes one registry value; B checks it with\n"
    "      RC2 through CryptoAPI, N with the light cipher\n"
    "      HIVE  C (current user) or L (local machine)\n"
    "      TYPE  B (REG_BINARY), D (REG_DWORD) or S (REG_SZ)\n"
    "      KIND  text, hex, number (32-bit, little-endian) or file\n"
    "      --zero  appends a zero byte (a REG_SZ value's terminator)\n"
    "  pwcmd file PATH TEXT\n"
    "      writes TEXT to the command file PATH and prints the 'F' command for it\n"
    "  pwcmd C|A FILE\n"
    "      prints the command text that installs the certificate (C) or the authority's\n"
    "      certificates (A) of FILE: one certificate or a PKCS #7 message, PEM or DER\n"
    "  pwcmd request\n"
    "      prints the request that Q stored in the registry as a PEM certificate request\n";

int usage(const char* problem = nullptr) {
  if (problem) std::fprintf(stderr, "pwcmd: %s\n", problem);
  std::fputs(kHelp, stderr);
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
  if (args.size() != 7 && !zero) return usage("B and N take HIVE KEY NAME TYPE KIND DATA");
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
  if (args.empty()) return usage();
  if (args[0] == "key" && args.size() == 1) return printKey();
  if (args[0] == "B" || args[0] == "N") return blobCommand(args);
  if (args[0] == "file") return commandFile(args);
  if (args[0] == "C" || args[0] == "A") return answer(args);
  if (args[0] == "request" && args.size() == 1) return request();
  return usage();
}
