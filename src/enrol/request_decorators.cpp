// What the newer road adds to its request: the client-authentication purpose, the key
// usages and the key-exchange key specification. Each answers the result of the first
// platform call that did not answer zero, or zero.
#include <windows.h>

#include <certenroll.h>
#include <objbase.h>

#include "handlers/storage_manager.h"
#include "trace/trace.h"
#include "win32/com.h"

namespace {

// digitalSignature, nonRepudiation, keyEncipherment, dataEncipherment
constexpr X509KeyUsageFlags kKeyUsages =
    X509KeyUsageFlags(XCN_CERT_DIGITAL_SIGNATURE_KEY_USAGE | XCN_CERT_NON_REPUDIATION_KEY_USAGE |
                      XCN_CERT_KEY_ENCIPHERMENT_KEY_USAGE | XCN_CERT_DATA_ENCIPHERMENT_KEY_USAGE);

template <class Interface>
HRESULT create(REFCLSID clsid, REFIID iid, win32::ComPtr<Interface>& object) {
  return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, win32::voidOut(object));
}

// Adds `extension` to the request's list through its IX509Extension interface.
template <class Extension>
HRESULT addTo(IX509Extensions* list, Extension* extension) {
  win32::ComPtr<IX509Extension> generic;
  HRESULT hr = extension->QueryInterface(IID_IX509Extension, win32::voidOut(generic));
  if (hr != S_OK) return hr;
  return list->Add(generic.get());
}

}  // namespace

HRESULT Storage_Manager_No_console::SetIEkuExtension(IX509CertificateRequestPkcs10* request) {
  writeTrace("PWExe Storage_Manager_No_console::SetIEkuExtension - Start", TRACE_START);
  win32::ComPtr<IX509Extensions> extensions;
  HRESULT hr = request->get_X509Extensions(extensions.out());
  if (hr != S_OK) {
    writeTrace(
        "PWExe Storage_Manager_No_console::SetIEkuExtension - FAILED getting extensions "
        "collection",
        TRACE_END);
  } else {
    win32::ComPtr<IObjectId> oid;
    win32::ComPtr<IObjectIds> oids;
    win32::ComPtr<IX509ExtensionEnhancedKeyUsage> eku;
    if ((hr = create(CLSID_CObjectId, IID_IObjectId, oid)) == S_OK &&
        (hr = oid.get()->InitializeFromName(XCN_OID_PKIX_KP_CLIENT_AUTH)) == S_OK &&
        (hr = create(CLSID_CObjectIds, IID_IObjectIds, oids)) == S_OK &&
        (hr = oids.get()->Add(oid.get())) == S_OK &&
        (hr = create(CLSID_CX509ExtensionEnhancedKeyUsage, IID_IX509ExtensionEnhancedKeyUsage,
                     eku)) == S_OK &&
        (hr = eku.get()->InitializeEncode(oids.get())) == S_OK)
      hr = addTo(extensions.get(), eku.get());
  }
  writeTrace("PWExe Storage_Manager_No_console::SetIEkuExtension - End", TRACE_END);
  return hr;
}

// Like SetIEkuExtension, with its own object and trace lines: the two decorators stay
// apart because each is a step of its own in the request's trace.
HRESULT Storage_Manager_No_console::SetIKeyUsageExtension(IX509CertificateRequestPkcs10* request) {
  writeTrace("PWExe Storage_Manager_No_console::SetIKeyUsageExtension - Start", TRACE_START);
  win32::ComPtr<IX509Extensions> extensions;
  win32::ComPtr<IX509ExtensionKeyUsage> usage;
  HRESULT hr;
  if ((hr = request->get_X509Extensions(extensions.out())) == S_OK &&
      (hr = create(CLSID_CX509ExtensionKeyUsage, IID_IX509ExtensionKeyUsage, usage)) == S_OK &&
      (hr = usage.get()->InitializeEncode(kKeyUsages)) == S_OK)
    hr = addTo(extensions.get(), usage.get());
  writeTrace("PWExe Storage_Manager_No_console::SetIKeyUsageExtension - End", TRACE_END);
  return hr;
}

HRESULT Storage_Manager_No_console::SetKeyExchange(IX509CertificateRequestPkcs10* request) {
  writeTrace("PWExe Storage_Manager_NoConsole::SetKeyExchange - Start", TRACE_START);
  win32::ComPtr<IX509PrivateKey> key;
  HRESULT hr = request->get_PrivateKey(key.out());
  if (hr == S_OK) {
    hr = key.get()->put_KeySpec(XCN_AT_KEYEXCHANGE);
    writeTrace(hr == S_OK
                   ? "PWExe Storage_Manager_NoConsole::SetKeyExchange - KeySpec Set to KEY_EXCHANGE"
                   : "PWExe Storage_Manager_NoConsole::SetKeyExchange - FAILED to Set KeySpec to "
                     "KEY_EXCHANGE",
               TRACE_PLAIN);
  }
  key.reset();
  writeTrace("PWExe Storage_Manager_NoConsole::SetKeyExchange - End", TRACE_END);
  return hr;
}
