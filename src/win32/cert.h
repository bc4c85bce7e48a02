// Certificate stores and contexts: a store closed, a context freed, when its owner goes
// away. (PW_checker closes its stores itself, with the force flag that frees every
// context still held on them.)
#pragma once

#include <windows.h>

#include <wincrypt.h>

#include "owned.h"

namespace win32 {

struct CertStoreTraits {
  using Type = HCERTSTORE;
  static Type none() { return nullptr; }
  static void close(Type store) { CertCloseStore(store, 0); }
};
using CertStore = Owned<CertStoreTraits>;

struct CertContextTraits {
  using Type = PCCERT_CONTEXT;
  static Type none() { return nullptr; }
  static void close(Type context) { CertFreeCertificateContext(context); }
};
using CertContext = Owned<CertContextTraits>;

}  // namespace win32
