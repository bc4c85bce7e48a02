// The COM runtime with the platform's own in-process servers: what the conformance
// probe cannot compare with Wine, which serves none of these classes.
#include <windows.h>

#include <certenroll.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <string>

namespace {

using ServerCall = HRESULT(STDAPICALLTYPE*)();

HRESULT callServer(const char* library, const char* entry) {
  HMODULE module = LoadLibraryA(library);
  if (!module) return HRESULT_FROM_WIN32(GetLastError());
  auto call =
      reinterpret_cast<ServerCall>(reinterpret_cast<void (*)()>(GetProcAddress(module, entry)));
  HRESULT hr = call ? call() : HRESULT_FROM_WIN32(GetLastError());
  FreeLibrary(module);
  return hr;
}

class ComRuntime : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(callServer("certenroll", "DllRegisterServer"), S_OK);
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  }
  void TearDown() override { CoUninitialize(); }
};

TEST_F(ComRuntime, CountsReferencesAndAnswersOnlyItsInterfaces) {
  IObjectId* oid = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_CObjectId, nullptr, CLSCTX_INPROC_SERVER, IID_IObjectId,
                             reinterpret_cast<void**>(&oid)),
            S_OK);
  EXPECT_EQ(oid->AddRef(), 2u);
  IUnknown* unknown = nullptr;
  IDispatch* dispatch = nullptr;
  ASSERT_EQ(oid->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
  ASSERT_EQ(oid->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)), S_OK);
  EXPECT_EQ(static_cast<IUnknown*>(oid), unknown);  // one identity
  void* other = &other;
  EXPECT_EQ(oid->QueryInterface(IID_IX509Enrollment, &other), E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(unknown->Release(), 3u);
  EXPECT_EQ(dispatch->Release(), 2u);
  EXPECT_EQ(oid->Release(), 1u);
  EXPECT_EQ(oid->Release(), 0u);
}

TEST_F(ComRuntime, RefusesAggregationAndAnswersForUnservedClasses) {
  void* object = &object;
  IUnknown* outer = reinterpret_cast<IUnknown*>(&object);  // never called
  EXPECT_EQ(CoCreateInstance(CLSID_CObjectId, outer, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
            CLASS_E_NOAGGREGATION);
  EXPECT_EQ(object, nullptr);

  // A registration whose library does not exist: Windows answers the loader's error
  // (Wine answers E_ACCESSDENIED, which is why the conformance probe leaves it out).
  const char* key = "CLSID\\{884E2000-217D-11DA-B2A4-000E7BBB2B09}\\InprocServer32";
  const char missing[] = "C:\\Windows\\System32\\nowhere.dll";
  HKEY server;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, key, 0, KEY_SET_VALUE, &server), ERROR_SUCCESS);
  RegSetValueExA(server, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(missing),
                 sizeof missing);
  RegCloseKey(server);
  EXPECT_EQ(CoCreateInstance(CLSID_CObjectId, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
            HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND));

  ASSERT_EQ(callServer("certenroll.dll", "DllUnregisterServer"), S_OK);
  EXPECT_EQ(CoCreateInstance(CLSID_CObjectId, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "X509Enrollment.CObjectId.1", 0, KEY_READ, &server),
            ERROR_FILE_NOT_FOUND);
}

TEST(Libraries, FindBuiltinLibrariesByFileNameOnly) {
  HMODULE plain = LoadLibraryA("XENROLL.DLL");
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(LoadLibraryA("c:\\windows\\system32\\xenroll"), plain);
  EXPECT_NE(GetProcAddress(plain, "DllGetClassObject"), nullptr);
  EXPECT_EQ(GetProcAddress(plain, "DllInstall"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PROC_NOT_FOUND));
  EXPECT_TRUE(FreeLibrary(plain));
  EXPECT_EQ(LoadLibraryA("xenroll.dll.bak"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND));
}

}  // namespace
