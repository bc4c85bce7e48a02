// The CertEnroll classes this library serves, and what its objects share.
#pragma once

#include <objbase.h>

#include <certenroll.h>

#include "certenroll/enrolment.h"

#include <string>
#include <string_view>

namespace pw::certenroll {

HRESULT createObjectId(REFIID riid, void** ppv);
HRESULT createObjectIds(REFIID riid, void** ppv);
HRESULT createDistinguishedName(REFIID riid, void** ppv);
HRESULT createKeyUsage(REFIID riid, void** ppv);
HRESULT createEnhancedKeyUsage(REFIID riid, void** ppv);
HRESULT createRequestPkcs10(REFIID riid, void** ppv);
HRESULT createEnrollment(REFIID riid, void** ppv);
// The objects a request makes for itself.
HRESULT createPrivateKey(bool machine, IX509PrivateKey** out);
HRESULT createExtensions(IX509Extensions** out);

// What a PKCS #10 request object says of its key and contents, read through its
// interfaces (so that it may come from elsewhere).
HRESULT describeRequest(IX509CertificateRequestPkcs10* request, enrol::KeyParams* key,
                        enrol::RequestParams* contents);

// Documented answers for calls out of order.
inline const HRESULT kAlreadyInitialized = HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED);
inline const HRESULT kNotInitialized = OLE_E_BLANK;

// Bytes out in an encoding of the interfaces: a byte string for
// XCN_CRYPT_STRING_BINARY, base64 lines for XCN_CRYPT_STRING_BASE64, the same between
// the request's header lines for XCN_CRYPT_STRING_BASE64REQUESTHEADER.
HRESULT encodeOut(std::string_view bytes, EncodingType encoding, BSTR* out);
// And in: the bytes of a byte string or of base64 text (blanks and line breaks skipped).
HRESULT decodeIn(BSTR text, EncodingType encoding, std::string* bytes);

// The dotted text of an object identifier object; empty when it has none.
std::string oidText(IObjectId* oid);

}  // namespace pw::certenroll
