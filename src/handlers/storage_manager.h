// Storage_Manager_No_console: the command handlers. It holds no state; each
// operation is defined with the subsystem it belongs to (dispatch/, registry/, ...),
// and the dispatcher calls them through its command table. Subsystems include this
// header; nothing here includes dispatch/.
//
// Every handler takes the error holder (the run's result code, see
// win32/result_codes.h) first and answers true for success.
#pragma once

#include <windows.h>

#include <oleauto.h>

#include <memory>

#include "win32/oleaut.h"

struct BlobFields;                     // registry/blob_fields.h
struct IX509CertificateRequestPkcs10;  // <certenroll.h>

// The heap copy of the command text that WinMain dispatches, zero-terminated.
using CommandCopy = std::unique_ptr<char[]>;

class Storage_Manager_No_console {
 public:
  // 'F': the command text read from a file, which is deleted (dispatch/command_file.cpp).
  bool readCommandLineFromFile(LONG* error, const char* path, CommandCopy* commandCopy);

  // 'H' and 'W': the hardware identifiers (registry/hwid_store.cpp).
  bool storeHwid1(LONG* error, const char* args);
  bool storeHwid2(LONG* error, const char* args);

  // 'B' (selector 0, CryptoAPI RC2) and 'N' (selector 1, light cipher): a registry
  // value written only when its check blob decrypts to its data under the forced key
  // (registry/protected_store.cpp, registry/blob_params.cpp, registry/blob_check.cpp).
  bool storeBlob(LONG* error, const char* args, int selector);
  bool getParams(LONG* error, const char* args, BlobFields* fields);
  bool checkBlob(LONG* error, const BYTE* data, LONG length, const char* blobText, int selector);
  bool decryptBlob(LONG* error, VARIANT in, VARIANT* out, int selector);

  // 'D': a key of the local machine deleted with everything below it
  // (registry/key_tree_delete.cpp). RecurseDeleteKey answers a registry status.
  bool deletePending(LONG* error, const char* args);
  LONG RecurseDeleteKey(HKEY parent, const char* name);

  // 'Q': a key pair and a PKCS #10 request through the older enrolment control, or the
  // newer enrolment objects when the control cannot be created; the request's text is
  // kept in the registry (enrol/request_creation.cpp, enrol/request_decorators.cpp).
  // createPKCS10 rewrites its argument text in place. The decorators answer the
  // result of the first platform call that did not answer zero.
  bool createPKCS10(LONG* error, char* args);
  bool createXEnrollPKCS10(LONG* error, const char* subject);
  bool createCertEnrollPKCS10(LONG* error, const char* subject);
  HRESULT SetIEkuExtension(IX509CertificateRequestPkcs10* request);
  HRESULT SetIKeyUsageExtension(IX509CertificateRequestPkcs10* request);
  HRESULT SetKeyExchange(IX509CertificateRequestPkcs10* request);
  bool storeRequest(LONG* error, const char* requestText);

  // 'C' and 'A': the authority's answer installed on the local machine by the same two
  // generations (enrol/installation.cpp). The answer text is the command's until a
  // road has created its object and takes it over.
  bool storeCertificate(LONG* error, const char* args);
  bool storeAuthority(LONG* error, const char* args);
  bool formatCert(LONG* error, const char* args, win32::Bstr* answer);
  bool storeXEnrollCertificate(LONG* error, win32::Bstr* answer);
  bool storeCertEnrollCertificate(LONG* error, win32::Bstr* answer);
  bool storeXEnrollAuthority(LONG* error, win32::Bstr* answer);
  bool storeCertEnrollAuthority(LONG* error, win32::Bstr* answer);

  // 'R': the client's command line run with a report file, on NTFS volumes only
  // (rights/set_rights.cpp, rights/system_checks.cpp).
  bool setRights(LONG* error, const char* args);
  bool GetIsFormatedNTFS();
  bool IsOSVersionNoConsoleCompatible();
};
