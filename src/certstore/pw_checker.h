// PW_checker: the system's access to the personal certificate stores "MY" of the local
// machine and of the current user, the private-key check ('K') and the removal of the
// gateway certificate ('E'). It holds no state; every operation is a class-level
// function that reports a failure through the error holder and answers false.
#pragma once

#include <windows.h>

#include <oleauto.h>
#include <wincrypt.h>

class PW_checker {
 public:
  virtual ~PW_checker() = default;

  // The store of the local machine (read-only) or of the current user (writable).
  static bool OpenStore(LONG* error, bool machine, const WCHAR* storeName, HCERTSTORE* store);
  // The same store, writable in both cases.
  static bool openStoreForDelete(LONG* error, bool machine, const WCHAR* storeName,
                                 HCERTSTORE* store);
  // Closes with CERT_CLOSE_STORE_FORCE_FLAG, which frees every context still held.
  static void CloseStore(HCERTSTORE store);
  // The first certificate whose simple-name subject equals `subject`, ASCII letters
  // compared without regard to case; the caller gets its own duplicate.
  static bool GetCertificate(LONG* error, const char* subject, HCERTSTORE store,
                             PCCERT_CONTEXT* cert);
  // The subject, issuer or serial number of a certificate as a new BSTR; any other field
  // name selects the subject.
  static bool GetCertificateString(LONG* error, PCCERT_CONTEXT cert, const WCHAR* field,
                                   BSTR* text);
  // Deletes the certificate from its store; the context is consumed either way.
  static bool deleteCert(PCCERT_CONTEXT cert, LONG* error);

  // 'K': the certificate of that subject (':' for ',') in the machine's store has a
  // usable exchange key in the machine's key set; the key handle is left for WinMain.
  static bool checkPrivateKey(LONG* error, char* subject, HCRYPTKEY* key);
  static bool getPrivateKey(LONG* error, PCCERT_CONTEXT* cert, HCRYPTKEY* key);
};

// 'E': removes the gateway certificate named by "<kind>,<identifier>" from the machine's
// store ("TRUE") or the current user's (any other kind).
bool deleteHwidCertificate(LONG* error, const char* args);
