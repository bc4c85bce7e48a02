// The enrolment components' methods that the system calls, checked where the build
// compiles against the declarations it is given (the SDK's on Windows, the platform's
// elsewhere): each takes the arguments the system passes, with the SDK's calling
// convention. A 32-bit caller and component that disagreed on `__stdcall` would
// compile and then corrupt the stack on the first call; on 64-bit the convention is
// the one calling convention and the check costs nothing.
#include <windows.h>

#include <certenroll.h>
#include <objbase.h>
#include <xenroll.h>

#include <type_traits>

namespace {

template <class Interface, class... Args>
using Method = HRESULT (STDMETHODCALLTYPE Interface::*)(Args...);

template <class Actual, class Expected>
constexpr bool kSame = std::is_same_v<Actual, Expected>;

// The older control.
static_assert(kSame<decltype(&ICEnroll::put_KeySpec), Method<ICEnroll, LONG>>);
static_assert(kSame<decltype(&ICEnroll::put_MyStoreFlags), Method<ICEnroll, LONG>>);
static_assert(kSame<decltype(&ICEnroll::put_RequestStoreFlags), Method<ICEnroll, LONG>>);
static_assert(kSame<decltype(&ICEnroll::createPKCS10), Method<ICEnroll, BSTR, BSTR, BSTR*>>);
static_assert(kSame<decltype(&ICEnroll::acceptPKCS7), Method<ICEnroll, BSTR>>);
static_assert(kSame<decltype(&ICEnroll3::InstallPKCS7), Method<ICEnroll3, BSTR>>);

// The newer objects.
// Initialize is the base request interface's: the pointer-to-member names that class.
static_assert(kSame<decltype(&IX509CertificateRequestPkcs10::Initialize),
                    Method<IX509CertificateRequest, X509CertificateEnrollmentContext>>);
static_assert(kSame<decltype(&IX509CertificateRequestPkcs10::put_Subject),
                    Method<IX509CertificateRequestPkcs10, IX500DistinguishedName*>>);
static_assert(kSame<decltype(&IX509CertificateRequestPkcs10::get_PrivateKey),
                    Method<IX509CertificateRequestPkcs10, IX509PrivateKey**>>);
static_assert(kSame<decltype(&IX509CertificateRequestPkcs10::get_X509Extensions),
                    Method<IX509CertificateRequestPkcs10, IX509Extensions**>>);
static_assert(kSame<decltype(&IX500DistinguishedName::Encode),
                    Method<IX500DistinguishedName, BSTR, X500NameFlags>>);
static_assert(kSame<decltype(&IX509PrivateKey::put_KeySpec), Method<IX509PrivateKey, X509KeySpec>>);
static_assert(kSame<decltype(&IObjectId::InitializeFromName), Method<IObjectId, CERTENROLL_OBJECTID>>);
static_assert(kSame<decltype(&IObjectIds::Add), Method<IObjectIds, IObjectId*>>);
static_assert(kSame<decltype(&IX509ExtensionEnhancedKeyUsage::InitializeEncode),
                    Method<IX509ExtensionEnhancedKeyUsage, IObjectIds*>>);
static_assert(kSame<decltype(&IX509ExtensionKeyUsage::InitializeEncode),
                    Method<IX509ExtensionKeyUsage, X509KeyUsageFlags>>);
static_assert(kSame<decltype(&IX509Extensions::Add), Method<IX509Extensions, IX509Extension*>>);
static_assert(kSame<decltype(&IX509Enrollment::Initialize),
                    Method<IX509Enrollment, X509CertificateEnrollmentContext>>);
static_assert(kSame<decltype(&IX509Enrollment::InitializeFromRequest),
                    Method<IX509Enrollment, IX509CertificateRequest*>>);
static_assert(kSame<decltype(&IX509Enrollment::CreateRequest),
                    Method<IX509Enrollment, EncodingType, BSTR*>>);
static_assert(kSame<decltype(&IX509Enrollment::InstallResponse),
                    Method<IX509Enrollment, InstallResponseRestrictionFlags, BSTR, EncodingType, BSTR>>);

// What the calls hand over: 32-bit integers and enumerations, wide strings of 16-bit
// characters behind a system-string pointer, 16-byte identifiers, and interfaces
// that are one method-table pointer.
static_assert(sizeof(LONG) == 4 && sizeof(HRESULT) == 4);
static_assert(sizeof(X509CertificateEnrollmentContext) == 4 && sizeof(EncodingType) == 4 &&
              sizeof(CERTENROLL_OBJECTID) == 4 && sizeof(X509KeyUsageFlags) == 4 &&
              sizeof(X509KeySpec) == 4 && sizeof(InstallResponseRestrictionFlags) == 4);
static_assert(sizeof(OLECHAR) == 2 && sizeof(BSTR) == sizeof(void*));
static_assert(sizeof(GUID) == 16);
static_assert(sizeof(ICEnroll) == sizeof(void*) && sizeof(IX509Enrollment) == sizeof(void*));

// The values the system passes.
static_assert(CLSCTX_INPROC_SERVER == 1 && COINIT_APARTMENTTHREADED == 2);
static_assert(ContextMachine == 2 && XCN_CRYPT_STRING_BASE64 == 1 && XCN_AT_KEYEXCHANGE == 1);
static_assert(XCN_OID_PKIX_KP_CLIENT_AUTH == 245 && XCN_CERT_NAME_STR_NONE == 0);

}  // namespace
