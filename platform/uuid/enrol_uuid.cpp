// The identifiers of the enrolment components' classes and interfaces, as the SDK's
// uuid library holds them; MinGW-w64's lacks them, so both builds link this file.
#include <guiddef.h>
#include <windows.h>

#define PW_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
  extern "C" const GUID name = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}

// xenroll.dll
PW_GUID(CLSID_CEnroll, 0x43F8F289, 0x7A20, 0x11D0, 0x8F, 0x06, 0x00, 0xC0, 0x4F, 0xC2, 0x95, 0xE1);
PW_GUID(IID_ICEnroll, 0x43F8F288, 0x7A20, 0x11D0, 0x8F, 0x06, 0x00, 0xC0, 0x4F, 0xC2, 0x95, 0xE1);
PW_GUID(IID_ICEnroll2, 0x704CA730, 0xC90B, 0x11D1, 0x9B, 0xEC, 0x00, 0xC0, 0x4F, 0xC2, 0x95, 0xE1);
PW_GUID(IID_ICEnroll3, 0xC28C2D95, 0xB7DE, 0x11D2, 0xA4, 0x21, 0x00, 0xC0, 0x4F, 0x79, 0xFE, 0x8E);

// certenroll.dll: classes 884E20xx and their interfaces 728AB3xx
#define PW_CE(name, l) \
  PW_GUID(name, l, 0x217D, 0x11DA, 0xB2, 0xA4, 0x00, 0x0E, 0x7B, 0xBB, 0x2B, 0x09)
PW_CE(CLSID_CObjectId, 0x884E2000);
PW_CE(CLSID_CObjectIds, 0x884E2001);
PW_CE(CLSID_CX500DistinguishedName, 0x884E2003);
PW_CE(CLSID_CX509ExtensionKeyUsage, 0x884E200F);
PW_CE(CLSID_CX509ExtensionEnhancedKeyUsage, 0x884E2010);
PW_CE(CLSID_CX509CertificateRequestPkcs10, 0x884E2042);
PW_CE(CLSID_CX509Enrollment, 0x884E2046);
PW_CE(IID_IObjectId, 0x728AB300);
PW_CE(IID_IObjectIds, 0x728AB301);
PW_CE(IID_IX500DistinguishedName, 0x728AB303);
PW_CE(IID_IX509PrivateKey, 0x728AB30C);
PW_CE(IID_IX509Extension, 0x728AB30D);
PW_CE(IID_IX509Extensions, 0x728AB30E);
PW_CE(IID_IX509ExtensionKeyUsage, 0x728AB30F);
PW_CE(IID_IX509ExtensionEnhancedKeyUsage, 0x728AB310);
PW_CE(IID_IX509CertificateRequest, 0x728AB341);
PW_CE(IID_IX509CertificateRequestPkcs10, 0x728AB342);
PW_CE(IID_IX509Enrollment, 0x728AB346);
