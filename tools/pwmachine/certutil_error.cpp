// certutil -error CODE, and the names and texts of the errors certutil's failures
// show. Windows takes the texts from the system's message tables; pwmachine holds
// those of the codes its machine's registry, files, CryptoAPI and COM answer with.
#include "certutil.h"
#include "console.h"
#include "text.h"

#include <cerrno>
#include <cstdlib>

namespace pwm::certutil {
namespace {

struct Entry {
  DWORD code;
  ErrorText text;
};

const Entry kErrors[] = {
    {0, {"ERROR_SUCCESS", "The operation completed successfully."}},
    {1, {"ERROR_INVALID_FUNCTION", "Incorrect function."}},
    {2, {"ERROR_FILE_NOT_FOUND", "The system cannot find the file specified."}},
    {3, {"ERROR_PATH_NOT_FOUND", "The system cannot find the path specified."}},
    {5, {"ERROR_ACCESS_DENIED", "Access is denied."}},
    {6, {"ERROR_INVALID_HANDLE", "The handle is invalid."}},
    {8,
     {"ERROR_NOT_ENOUGH_MEMORY",
      "Not enough memory resources are available to process this command."}},
    {13, {"ERROR_INVALID_DATA", "The data is invalid."}},
    {14,
     {"ERROR_OUTOFMEMORY",
      "Not enough memory resources are available to complete this operation."}},
    {32,
     {"ERROR_SHARING_VIOLATION",
      "The process cannot access the file because it is being used by another process."}},
    {50, {"ERROR_NOT_SUPPORTED", "The request is not supported."}},
    {80, {"ERROR_FILE_EXISTS", "The file exists."}},
    {86, {"ERROR_INVALID_PASSWORD", "The specified network password is not correct."}},
    {87, {"ERROR_INVALID_PARAMETER", "The parameter is incorrect."}},
    {120, {"ERROR_CALL_NOT_IMPLEMENTED", "This function is not supported on this system."}},
    {122, {"ERROR_INSUFFICIENT_BUFFER", "The data area passed to a system call is too small."}},
    {123,
     {"ERROR_INVALID_NAME", "The filename, directory name, or volume label syntax is incorrect."}},
    {126, {"ERROR_MOD_NOT_FOUND", "The specified module could not be found."}},
    {127, {"ERROR_PROC_NOT_FOUND", "The specified procedure could not be found."}},
    {161, {"ERROR_BAD_PATHNAME", "The specified path is invalid."}},
    {183, {"ERROR_ALREADY_EXISTS", "Cannot create a file when that file already exists."}},
    {234, {"ERROR_MORE_DATA", "More data is available."}},
    {259, {"ERROR_NO_MORE_ITEMS", "No more data is available."}},
    {1247,
     {"ERROR_ALREADY_INITIALIZED",
      "An attempt was made to perform an initialization operation when initialization has already "
      "been completed."}},
    {1450,
     {"ERROR_NO_SYSTEM_RESOURCES",
      "Insufficient system resources exist to complete the requested service."}},
    {1920, {"ERROR_CANT_ACCESS_FILE", "The file cannot be accessed by the system."}},
    {0x80004001, {"E_NOTIMPL", "Not implemented"}},
    {0x80004002, {"E_NOINTERFACE", "No such interface supported"}},
    {0x80004003, {"E_POINTER", "Invalid pointer"}},
    {0x80004004, {"E_ABORT", "Operation aborted"}},
    {0x80004005, {"E_FAIL", "Unspecified error"}},
    {0x8000ffff, {"E_UNEXPECTED", "Catastrophic failure"}},
    {0x80040064, {"OLE_E_BLANK", "Uninitialized object"}},
    {0x80040154, {"REGDB_E_CLASSNOTREG", "Class not registered"}},
    {0x800401f0, {"CO_E_NOTINITIALIZED", "CoInitialize has not been called."}},
    {0x80070005, {"E_ACCESSDENIED", "Access is denied."}},
    {0x8007000e,
     {"E_OUTOFMEMORY", "Not enough memory resources are available to complete this operation."}},
    {0x80070057, {"E_INVALIDARG", "The parameter is incorrect."}},
    {0x80090005, {"NTE_BAD_DATA", "Bad Data."}},
    {0x80090006, {"NTE_BAD_SIGNATURE", "Invalid Signature."}},
    {0x80090008, {"NTE_BAD_ALGID", "Invalid algorithm specified."}},
    {0x80090009, {"NTE_BAD_FLAGS", "Invalid flags specified."}},
    {0x8009000d, {"NTE_NO_KEY", "Key does not exist."}},
    {0x8009000f, {"NTE_EXISTS", "Object already exists."}},
    {0x80090016, {"NTE_BAD_KEYSET", "Keyset does not exist"}},
    {0x80090020, {"NTE_FAIL", "An internal error occurred."}},
    {0x80092002, {"CRYPT_E_BAD_ENCODE", "An error occurred during encode or decode operation."}},
    {0x80092004, {"CRYPT_E_NOT_FOUND", "Cannot find object or property."}},
    {0x80092005, {"CRYPT_E_EXISTS", "The object or property already exists."}},
    {0x80092023,
     {"CRYPT_E_INVALID_X500_STRING",
      "The string contains an invalid X500 name attribute key, oid, value or delimiter."}},
    {0x80093102, {"CRYPT_E_ASN1_EOD", "ASN1 unexpected end of data."}},
    {0x8009310b, {"CRYPT_E_ASN1_BADTAG", "ASN1 bad tag value met."}},
};

}  // namespace

const ErrorText* errorText(DWORD code) {
  for (const Entry& e : kErrors)
    if (e.code == code) return &e.text;
  // An HRESULT that carries a Win32 code has that code's text.
  if ((code & 0xFFFF0000) == 0x80070000)
    for (const Entry& e : kErrors)
      if (e.code == (code & 0xFFFF)) return &e.text;
  return nullptr;
}

int runError(const Options& o) {
  if (o.args.size() != 1) return failed("error", ERROR_INVALID_PARAMETER, "CODE expected");
  const std::string& arg = o.args[0];
  errno = 0;
  char* end = nullptr;
  // Decimal (negative for an HRESULT written as a signed number) or 0x hex.
  long long value = std::strtoll(arg.c_str(), &end, 0);
  if (arg.empty() || *end || errno || value < -0x80000000LL || value > 0xFFFFFFFFLL)
    return failed("error", ERROR_INVALID_PARAMETER, arg + " is no error code");
  DWORD code = DWORD(value);
  const ErrorText* known = errorText(code);
  std::string kind;
  if (code < 0x10000 || (code & 0xFFFF0000) == 0x80070000) {
    const ErrorText* win32 = errorText(code & 0xFFFF);
    kind = format("WIN32: %lu", (unsigned long)(code & 0xFFFF)) +
           (win32 ? std::string(" ") + win32->name : std::string());
  } else {
    kind =
        format("%ld", long(LONG(code))) + (known ? std::string(" ") + known->name : std::string());
  }
  out(format("0x%lx (%s) -- %lu (%ld)\n", (unsigned long)code, kind.c_str(), (unsigned long)code,
             long(LONG(code))));
  out(std::string("Error message text: ") + (known ? known->text : "(none known to pwmachine)") +
      "\n");
  return succeeded("error");
}

}  // namespace pwm::certutil
