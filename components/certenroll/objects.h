// The CertEnroll classes this library serves, and what its objects share.
#pragma once

#include <objbase.h>

#include <certenroll.h>

#include "components/certenroll/enrolment.h"

#include <string>

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

// Bytes out in an encoding of the interfaces: a byte string for XCN_CRYPT_STRING_BINARY,
// else text as CryptBinaryToString writes it (the encodings share its flags' values).
HRESULT encodeOut(const enrol::Bytes& bytes, EncodingType encoding, BSTR* out);
// And in: the bytes of a byte string, or of text as CryptStringToBinary reads it.
HRESULT decodeIn(BSTR text, EncodingType encoding, enrol::Bytes* bytes);

// The dotted text of an object identifier object; empty when it has none.
std::string oidText(IObjectId* oid);

}  // namespace pw::certenroll
