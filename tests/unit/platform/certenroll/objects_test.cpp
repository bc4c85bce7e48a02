// The enrolment objects' documented answers to calls made out of order, and the DER of
// the two extensions the requests carry, checked against hand-encoded vectors.
#include <windows.h>

#include <certenroll.h>
#include <objbase.h>
#include <oleauto.h>
#include <wincrypt.h>
#include <xenroll.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const HRESULT kAlreadyInitialized = HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED);

class Objects : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* library : {"certenroll.dll", "xenroll.dll"}) {
      HMODULE module = LoadLibraryA(library);
      auto call = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
          reinterpret_cast<void (*)()>(GetProcAddress(module, "DllRegisterServer")));
      ASSERT_EQ(call(), S_OK);
    }
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  }
  void TearDown() override {
    for (IUnknown* object : held_) object->Release();
    CoUninitialize();
  }
  template <class T>
  T* make(REFCLSID clsid, REFIID iid) {
    T* object = nullptr;
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid,
                               reinterpret_cast<void**>(&object)),
              S_OK);
    if (object) held_.push_back(object);
    return object;
  }
  BSTR text(const char16_t* value) {
    BSTR s = SysAllocString(reinterpret_cast<const OLECHAR*>(value));
    strings_.push_back(s);
    return s;
  }
  static std::string bytes(BSTR binary) {
    std::string out(reinterpret_cast<const char*>(binary), SysStringByteLen(binary));
    SysFreeString(binary);
    return out;
  }

 private:
  std::vector<IUnknown*> held_;
  struct Strings : std::vector<BSTR> {
    ~Strings() {
      for (BSTR s : *this) SysFreeString(s);
    }
  } strings_;
};

TEST_F(Objects, ExtensionsEncodeAsX509SaysAndOnlyOnce) {
  auto* usage =
      make<IX509ExtensionKeyUsage>(CLSID_CX509ExtensionKeyUsage, IID_IX509ExtensionKeyUsage);
  BSTR raw = nullptr;
  EXPECT_EQ(usage->get_RawData(XCN_CRYPT_STRING_BINARY, &raw), OLE_E_BLANK);
  ASSERT_EQ(usage->InitializeEncode(X509KeyUsageFlags(0xF0)), S_OK);
  EXPECT_EQ(usage->InitializeEncode(X509KeyUsageFlags(0x80)), kAlreadyInitialized);
  ASSERT_EQ(usage->get_RawData(XCN_CRYPT_STRING_BINARY, &raw), S_OK);
  // BIT STRING, 4 unused bits, 1111 0000
  EXPECT_EQ(bytes(raw), std::string("\x03\x02\x04\xF0", 4));
  ASSERT_EQ(usage->get_RawData(XCN_CRYPT_STRING_BASE64, &raw), S_OK);
  EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(raw)), u"AwIE8A==\r\n");
  SysFreeString(raw);
  VARIANT_BOOL critical = VARIANT_TRUE;
  EXPECT_EQ(usage->get_Critical(&critical), S_OK);
  EXPECT_EQ(critical, VARIANT_FALSE);

  auto* oid = make<IObjectId>(CLSID_CObjectId, IID_IObjectId);
  auto* oids = make<IObjectIds>(CLSID_CObjectIds, IID_IObjectIds);
  EXPECT_EQ(oid->get_Value(&raw), OLE_E_BLANK);
  EXPECT_EQ(oid->InitializeFromValue(text(u"1.3.6.x")), E_INVALIDARG);
  ASSERT_EQ(oid->InitializeFromName(XCN_OID_PKIX_KP_CLIENT_AUTH), S_OK);
  EXPECT_EQ(oid->InitializeFromName(XCN_OID_PKIX_KP_SERVER_AUTH), kAlreadyInitialized);
  ASSERT_EQ(oids->Add(oid), S_OK);
  auto* eku = make<IX509ExtensionEnhancedKeyUsage>(CLSID_CX509ExtensionEnhancedKeyUsage,
                                                   IID_IX509ExtensionEnhancedKeyUsage);
  ASSERT_EQ(eku->InitializeEncode(oids), S_OK);
  ASSERT_EQ(eku->get_RawData(XCN_CRYPT_STRING_BINARY, &raw), S_OK);
  // SEQUENCE { OID 1.3.6.1.5.5.7.3.2 }
  EXPECT_EQ(bytes(raw), std::string("\x30\x0A\x06\x08\x2B\x06\x01\x05\x05\x07\x03\x02", 12));
}

TEST_F(Objects, RequestAndEnrollmentRefuseWorkBeforeTheirInitialisation) {
  auto* request = make<IX509CertificateRequestPkcs10>(CLSID_CX509CertificateRequestPkcs10,
                                                      IID_IX509CertificateRequestPkcs10);
  auto* name =
      make<IX500DistinguishedName>(CLSID_CX500DistinguishedName, IID_IX500DistinguishedName);
  auto* enrollment = make<IX509Enrollment>(CLSID_CX509Enrollment, IID_IX509Enrollment);
  IX509Extensions* extensions = nullptr;
  IX509PrivateKey* key = nullptr;
  BSTR out = nullptr;
  EXPECT_EQ(request->put_Subject(name), OLE_E_BLANK);
  EXPECT_EQ(request->get_X509Extensions(&extensions), OLE_E_BLANK);
  EXPECT_EQ(request->get_PrivateKey(&key), OLE_E_BLANK);
  EXPECT_EQ(request->Encode(), OLE_E_BLANK);
  EXPECT_EQ(enrollment->InitializeFromRequest(request), OLE_E_BLANK);
  EXPECT_EQ(enrollment->CreateRequest(XCN_CRYPT_STRING_BASE64, &out), OLE_E_BLANK);
  EXPECT_EQ(enrollment->InstallResponse(AllowUntrustedCertificate, text(u"AAAA"),
                                        XCN_CRYPT_STRING_BASE64, nullptr),
            OLE_E_BLANK);
  EXPECT_EQ(name->get_EncodedName(XCN_CRYPT_STRING_BINARY, &out), OLE_E_BLANK);

  EXPECT_EQ(request->Initialize(X509CertificateEnrollmentContext(7)), E_INVALIDARG);
  ASSERT_EQ(request->Initialize(ContextMachine), S_OK);
  EXPECT_EQ(request->Initialize(ContextUser), kAlreadyInitialized);
  EXPECT_EQ(request->get_RawData(XCN_CRYPT_STRING_BASE64, &out), CERTSRV_E_PROPERTY_EMPTY);
  ASSERT_EQ(enrollment->InitializeFromRequest(request), S_OK);
  EXPECT_EQ(enrollment->Initialize(ContextMachine), kAlreadyInitialized);

  ASSERT_EQ(request->get_PrivateKey(&key), S_OK);
  VARIANT_BOOL machine = VARIANT_FALSE;
  EXPECT_EQ(key->get_MachineContext(&machine), S_OK);
  EXPECT_EQ(machine, VARIANT_TRUE);
  EXPECT_EQ(key->put_KeySpec(X509KeySpec(3)), E_INVALIDARG);
  EXPECT_EQ(key->put_KeySpec(XCN_AT_KEYEXCHANGE), S_OK);
  key->Release();
}

TEST_F(Objects, SubjectTextThatDoesNotParseIsRefusedWithoutKeyOrRequest) {
  auto* name =
      make<IX500DistinguishedName>(CLSID_CX500DistinguishedName, IID_IX500DistinguishedName);
  EXPECT_EQ(name->Encode(text(u"CN=\"open"), XCN_CERT_NAME_STR_NONE), CRYPT_E_INVALID_X500_STRING);

  auto* enroll = make<ICEnroll3>(CLSID_CEnroll, IID_ICEnroll3);
  EXPECT_EQ(enroll->put_KeySpec(3), E_INVALIDARG);
  EXPECT_EQ(enroll->put_MyStoreFlags(0), E_INVALIDARG);
  EXPECT_EQ(enroll->put_RequestStoreFlags(0x20000), S_OK);
  BSTR request = nullptr;
  EXPECT_EQ(enroll->createPKCS10(text(u"CN=\"open"), text(u"1.3.6.1.5.5.7.3.2"), &request),
            CRYPT_E_INVALID_X500_STRING);
  EXPECT_EQ(request, nullptr);
  EXPECT_EQ(GetLastError(), DWORD(CRYPT_E_INVALID_X500_STRING));
  // No container was made for the refused request.
  HCRYPTPROV provider = 0;
  ASSERT_TRUE(CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_FULL,
                                   CRYPT_VERIFYCONTEXT | CRYPT_MACHINE_KEYSET));
  char container[256];
  DWORD size = sizeof container;
  EXPECT_FALSE(CryptGetProvParam(provider, PP_ENUMCONTAINERS, reinterpret_cast<BYTE*>(container),
                                 &size, CRYPT_FIRST));
  CryptReleaseContext(provider, 0);
}

}  // namespace
