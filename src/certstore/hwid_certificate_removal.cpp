// 'E': removes the gateway certificate, whose subject is composed from the kind and the
// client's identifier, from the machine's personal store (an HWID certificate) or the
// current user's (a VIRTUAL one). One certificate per command, the first that matches.
#include "certstore/pw_checker.h"

#include "trace/trace.h"
#include "win32/result_codes.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {
// The composed subject lives in 100 bytes: at most 99 characters.
constexpr size_t kSubjectChars = 99;
}  // namespace

bool deleteHwidCertificate(LONG* error, const char* args) {
  writeTrace("PW_Store::deleteHwidCertificate - start", TRACE_START);
  PW_checker checker;  // for the length of the command; it carries no state
  try {
    const char* comma = std::strchr(args, ',');
    std::string kind = comma ? std::string(args, size_t(comma - args)) : std::string(args);
    std::string identifier = comma ? std::string(comma + 1) : std::string();
    bool hwid = kind == "TRUE";

    static const WCHAR kMy[] = {'M', 'Y', 0};
    HCERTSTORE store = nullptr;
    if (!checker.openStoreForDelete(error, hwid, kMy, &store))
      return traceFail("PW_Store::deleteHwidCertificate - end (error openStore failed)");

    std::string subject =
        std::string(hwid ? "HWID, " : "VIRTUAL, ") + identifier + ", Velmora Portwyn Certificate";
    if (subject.size() > kSubjectChars) {
      // No certificate can be named by a subject longer than its buffer.
      *error = rc::kCertNotFound;
      return traceFail("PW_Store::deleteHwidCertificate - end (error subject too long)");
    }
    char line[256];
    std::snprintf(line, sizeof line,
                  "PW_Store::deleteHwidCertificate - about to call getCertificate for the Hwid "
                  "Certificate: %s",
                  subject.c_str());
    writeTrace(line, TRACE_PLAIN);

    PCCERT_CONTEXT cert = nullptr;
    if (!checker.GetCertificate(error, subject.c_str(), store, &cert))
      return traceFail("PW_Store::deleteHwidCertificate - end (error getCertificate failed)");
    if (!checker.deleteCert(cert, error))
      return traceFail("PW_Store::deleteHwidCertificate - end (error deleteCert failed)");
    checker.CloseStore(store);
    writeTrace("PW_Store::deleteHwidCertificate - closeStore", TRACE_PLAIN);
    writeTrace("PW_Store::deleteHwidCertificate - end", TRACE_END);
    return true;
  } catch (...) {
    writeTrace("PW_Store::deleteHwidCertificate - end (catch)", TRACE_END);
    // The certificate was not removed: a command that ends here must not answer 0.
    if (*error == 0) *error = rc::kCertNotDeleted;
    return false;
  }
}
