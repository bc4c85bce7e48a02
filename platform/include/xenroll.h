// The older enrolment control (xenroll.dll): class CEnroll with ICEnroll, ICEnroll2 and
// ICEnroll3. Method order and names are the SDK's; on Windows builds the MinGW-w64
// header of the same name is used. The members stand in full, in the SDK's order,
// since that order is the method table: the get_/put_ pairs repeat by necessity.
#pragma once

#include <oaidl.h>
#include <unknwn.h>
#include <windows.h>

struct ICEnroll : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE createFilePKCS10(BSTR DNName, BSTR Usage,
                                                     BSTR wszPKCS10FileName) = 0;
  virtual HRESULT STDMETHODCALLTYPE acceptFilePKCS7(BSTR wszPKCS7FileName) = 0;
  virtual HRESULT STDMETHODCALLTYPE createPKCS10(BSTR DNName, BSTR Usage, BSTR* pPKCS10) = 0;
  virtual HRESULT STDMETHODCALLTYPE acceptPKCS7(BSTR PKCS7) = 0;
  virtual HRESULT STDMETHODCALLTYPE getCertFromPKCS7(BSTR wszPKCS7, BSTR* pbstrCert) = 0;
  virtual HRESULT STDMETHODCALLTYPE enumProviders(LONG dwIndex, LONG dwFlags,
                                                  BSTR* pbstrProvName) = 0;
  virtual HRESULT STDMETHODCALLTYPE enumContainers(LONG dwIndex, BSTR* pbstr) = 0;
  virtual HRESULT STDMETHODCALLTYPE freeRequestInfo(BSTR PKCS7OrPKCS10) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_MyStoreName(BSTR* pbstrName) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_MyStoreName(BSTR bstrName) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_MyStoreType(BSTR* pbstrType) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_MyStoreType(BSTR bstrType) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_MyStoreFlags(LONG* pdwFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_MyStoreFlags(LONG dwFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_CAStoreName(BSTR* pbstrName) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_CAStoreName(BSTR bstrName) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_CAStoreType(BSTR* pbstrType) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_CAStoreType(BSTR bstrType) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_CAStoreFlags(LONG* pdwFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_CAStoreFlags(LONG dwFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_RootStoreName(BSTR* pbstrName) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_RootStoreName(BSTR bstrName) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_RootStoreType(BSTR* pbstrType) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_RootStoreType(BSTR bstrType) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_RootStoreFlags(LONG* pdwFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_RootStoreFlags(LONG dwFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_RequestStoreName(BSTR* pbstrName) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_RequestStoreName(BSTR bstrName) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_RequestStoreType(BSTR* pbstrType) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_RequestStoreType(BSTR bstrType) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_RequestStoreFlags(LONG* pdwFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_RequestStoreFlags(LONG dwFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ContainerName(BSTR* pbstrContainer) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_ContainerName(BSTR bstrContainer) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ProviderName(BSTR* pbstrProvider) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_ProviderName(BSTR bstrProvider) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ProviderType(LONG* pdwType) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_ProviderType(LONG dwType) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_KeySpec(LONG* pdw) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_KeySpec(LONG dw) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ProviderFlags(LONG* pdwFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_ProviderFlags(LONG dwFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_UseExistingKeySet(BOOL* fUseExistingKeys) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_UseExistingKeySet(BOOL fUseExistingKeys) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_GenKeyFlags(LONG* pdwFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_GenKeyFlags(LONG dwFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_DeleteRequestCert(BOOL* fDelete) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_DeleteRequestCert(BOOL fDelete) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_WriteCertToCSP(BOOL* fBool) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_WriteCertToCSP(BOOL fBool) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_SPCFileName(BSTR* pbstr) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_SPCFileName(BSTR bstr) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_PVKFileName(BSTR* pbstr) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_PVKFileName(BSTR bstr) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_HashAlgorithm(BSTR* pbstr) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_HashAlgorithm(BSTR bstr) = 0;
};

struct ICEnroll2 : public ICEnroll {
  virtual HRESULT STDMETHODCALLTYPE addCertTypeToRequest(BSTR CertType) = 0;
  virtual HRESULT STDMETHODCALLTYPE addNameValuePairToSignature(BSTR Name, BSTR Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_WriteCertToUserDS(BOOL* fBool) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_WriteCertToUserDS(BOOL fBool) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_EnableT61DNEncoding(BOOL* fBool) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_EnableT61DNEncoding(BOOL fBool) = 0;
};

struct ICEnroll3 : public ICEnroll2 {
  virtual HRESULT STDMETHODCALLTYPE InstallPKCS7(BSTR PKCS7) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSupportedKeySpec(LONG* pdwKeySpec) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetKeyLen(BOOL fMin, BOOL fExchange, LONG* pdwKeySize) = 0;
  virtual HRESULT STDMETHODCALLTYPE EnumAlgs(LONG dwIndex, LONG algClass, LONG* pdwAlgID) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetAlgName(LONG algID, BSTR* pbstr) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  put_ReuseHardwareKeyIfUnableToGenNew(BOOL fReuseHardwareKeyIfUnableToGenNew) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  get_ReuseHardwareKeyIfUnableToGenNew(BOOL* fReuseHardwareKeyIfUnableToGenNew) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_HashAlgID(LONG hashAlgID) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_HashAlgID(LONG* hashAlgID) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  put_LimitExchangeKeyToEncipherment(BOOL fLimitExchangeKeyToEncipherment) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  get_LimitExchangeKeyToEncipherment(BOOL* fLimitExchangeKeyToEncipherment) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_EnableSMIMECapabilities(BOOL fEnableSMIMECapabilities) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_EnableSMIMECapabilities(BOOL* fEnableSMIMECapabilities) = 0;
};

PW_EXTERN_C const IID IID_ICEnroll;
PW_EXTERN_C const IID IID_ICEnroll2;
PW_EXTERN_C const IID IID_ICEnroll3;
PW_EXTERN_C const CLSID CLSID_CEnroll;
