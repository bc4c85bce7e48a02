// The newer enrolment objects (certenroll.dll): the enumerations, interfaces and
// identifiers this project uses, with the SDK's names, values and method order.
// MinGW-w64 ships only a broken header of this name, so this folder is on the
// include path of both builds and this file stands in for it. Each interface lists
// every member in the SDK's order, since that order is its method table: the runs of
// get_/put_ pairs, and the members two interfaces share, repeat by necessity.
#pragma once

#include <oaidl.h>
#include <unknwn.h>
#include <windows.h>

// ---- enumerations (the members this project uses) ----
typedef enum X509CertificateEnrollmentContext {
  ContextUser = 0x1,
  ContextMachine = 0x2,
  ContextAdministratorForceMachine = 0x3
} X509CertificateEnrollmentContext;

typedef enum EncodingType {
  XCN_CRYPT_STRING_BASE64HEADER = 0,
  XCN_CRYPT_STRING_BASE64 = 0x1,
  XCN_CRYPT_STRING_BINARY = 0x2,
  XCN_CRYPT_STRING_BASE64REQUESTHEADER = 0x3,
  XCN_CRYPT_STRING_HEX = 0x4,
  XCN_CRYPT_STRING_HEXASCII = 0x5,
  XCN_CRYPT_STRING_BASE64_ANY = 0x6,
  XCN_CRYPT_STRING_ANY = 0x7,
  XCN_CRYPT_STRING_HEX_ANY = 0x8,
  XCN_CRYPT_STRING_BASE64X509CRLHEADER = 0x9,
  XCN_CRYPT_STRING_HEXADDR = 0xa,
  XCN_CRYPT_STRING_HEXASCIIADDR = 0xb,
  XCN_CRYPT_STRING_HEXRAW = 0xc,
  XCN_CRYPT_STRING_NOCRLF = 0x40000000,
  XCN_CRYPT_STRING_NOCR = (int)0x80000000
} EncodingType;

typedef enum CERTENROLL_OBJECTID {
  XCN_OID_NONE = 0,
  XCN_OID_ORGANIZATION_NAME = 128,
  XCN_OID_ORGANIZATIONAL_UNIT_NAME = 129,
  XCN_OID_KEY_USAGE = 176,
  XCN_OID_BASIC_CONSTRAINTS2 = 178,
  XCN_OID_SUBJECT_KEY_IDENTIFIER = 182,
  XCN_OID_ENHANCED_KEY_USAGE = 188,
  XCN_OID_PKIX_KP_SERVER_AUTH = 244,
  XCN_OID_PKIX_KP_CLIENT_AUTH = 245,
  XCN_OID_PKIX_KP_CODE_SIGNING = 246,
  XCN_OID_PKIX_KP_EMAIL_PROTECTION = 247,
  XCN_OID_RSA_SHA256RSA = 342,
  XCN_OID_NIST_sha256 = 345
} CERTENROLL_OBJECTID;

typedef enum ObjectIdGroupId {
  XCN_CRYPT_ANY_GROUP_ID = 0,
  XCN_CRYPT_HASH_ALG_OID_GROUP_ID = 1,
  XCN_CRYPT_ENCRYPT_ALG_OID_GROUP_ID = 2,
  XCN_CRYPT_PUBKEY_ALG_OID_GROUP_ID = 3,
  XCN_CRYPT_SIGN_ALG_OID_GROUP_ID = 4
} ObjectIdGroupId;

typedef enum ObjectIdPublicKeyFlags {
  XCN_CRYPT_OID_INFO_PUBKEY_ANY = 0,
  XCN_CRYPT_OID_INFO_PUBKEY_SIGN_KEY_FLAG = (int)0x80000000,
  XCN_CRYPT_OID_INFO_PUBKEY_ENCRYPT_KEY_FLAG = 0x40000000
} ObjectIdPublicKeyFlags;

typedef enum AlgorithmFlags { AlgorithmFlagsNone = 0, AlgorithmFlagsWrap = 0x1 } AlgorithmFlags;

typedef enum X500NameFlags {
  XCN_CERT_NAME_STR_NONE = 0,
  XCN_CERT_SIMPLE_NAME_STR = 1,
  XCN_CERT_OID_NAME_STR = 2,
  XCN_CERT_X500_NAME_STR = 3,
  XCN_CERT_NAME_STR_SEMICOLON_FLAG = 0x40000000,
  XCN_CERT_NAME_STR_NO_PLUS_FLAG = 0x20000000,
  XCN_CERT_NAME_STR_NO_QUOTING_FLAG = 0x10000000,
  XCN_CERT_NAME_STR_CRLF_FLAG = 0x8000000,
  XCN_CERT_NAME_STR_COMMA_FLAG = 0x4000000,
  XCN_CERT_NAME_STR_REVERSE_FLAG = 0x2000000,
  XCN_CERT_NAME_STR_FORWARD_FLAG = 0x1000000
} X500NameFlags;

typedef enum X509KeySpec {
  XCN_AT_NONE = 0,
  XCN_AT_KEYEXCHANGE = 1,
  XCN_AT_SIGNATURE = 2
} X509KeySpec;

typedef enum X509KeyUsageFlags {
  XCN_CERT_NO_KEY_USAGE = 0,
  XCN_CERT_DIGITAL_SIGNATURE_KEY_USAGE = 0x80,
  XCN_CERT_NON_REPUDIATION_KEY_USAGE = 0x40,
  XCN_CERT_KEY_ENCIPHERMENT_KEY_USAGE = 0x20,
  XCN_CERT_DATA_ENCIPHERMENT_KEY_USAGE = 0x10,
  XCN_CERT_KEY_AGREEMENT_KEY_USAGE = 0x8,
  XCN_CERT_KEY_CERT_SIGN_KEY_USAGE = 0x4,
  XCN_CERT_OFFLINE_CRL_SIGN_KEY_USAGE = 0x2,
  XCN_CERT_CRL_SIGN_KEY_USAGE = 0x2,
  XCN_CERT_ENCIPHER_ONLY_KEY_USAGE = 0x1,
  XCN_CERT_DECIPHER_ONLY_KEY_USAGE = (0x80 << 8)
} X509KeyUsageFlags;

// Every provider type: a key's type comes back as the one its provider has (24 for the
// AES provider), and an enumeration holds only the values its enumerators span.
typedef enum X509ProviderType {
  XCN_PROV_NONE = 0,
  XCN_PROV_RSA_FULL = 1,
  XCN_PROV_RSA_SIG = 2,
  XCN_PROV_DSS = 3,
  XCN_PROV_FORTEZZA = 4,
  XCN_PROV_MS_EXCHANGE = 5,
  XCN_PROV_SSL = 6,
  XCN_PROV_RSA_SCHANNEL = 12,
  XCN_PROV_DSS_DH = 13,
  XCN_PROV_EC_ECDSA_SIG = 14,
  XCN_PROV_EC_ECNRA_SIG = 15,
  XCN_PROV_EC_ECDSA_FULL = 16,
  XCN_PROV_EC_ECNRA_FULL = 17,
  XCN_PROV_DH_SCHANNEL = 18,
  XCN_PROV_SPYRUS_LYNKS = 20,
  XCN_PROV_RNG = 21,
  XCN_PROV_INTEL_SEC = 22,
  XCN_PROV_REPLACE_OWF = 23,
  XCN_PROV_RSA_AES = 24
} X509ProviderType;

typedef enum X509PrivateKeyExportFlags {
  XCN_NCRYPT_ALLOW_EXPORT_NONE = 0,
  XCN_NCRYPT_ALLOW_EXPORT_FLAG = 0x1,
  XCN_NCRYPT_ALLOW_PLAINTEXT_EXPORT_FLAG = 0x2,
  XCN_NCRYPT_ALLOW_ARCHIVING_FLAG = 0x4,
  XCN_NCRYPT_ALLOW_PLAINTEXT_ARCHIVING_FLAG = 0x8
} X509PrivateKeyExportFlags;

typedef enum X509PrivateKeyUsageFlags {
  XCN_NCRYPT_ALLOW_USAGES_NONE = 0,
  XCN_NCRYPT_ALLOW_DECRYPT_FLAG = 0x1,
  XCN_NCRYPT_ALLOW_SIGNING_FLAG = 0x2,
  XCN_NCRYPT_ALLOW_KEY_AGREEMENT_FLAG = 0x4,
  XCN_NCRYPT_ALLOW_ALL_USAGES = 0xffffff
} X509PrivateKeyUsageFlags;

typedef enum X509PrivateKeyProtection {
  XCN_NCRYPT_UI_NO_PROTECTION_FLAG = 0,
  XCN_NCRYPT_UI_PROTECT_KEY_FLAG = 0x1,
  XCN_NCRYPT_UI_FORCE_HIGH_PROTECTION_FLAG = 0x2
} X509PrivateKeyProtection;

typedef enum X509PrivateKeyVerify {
  VerifyNone = 0,
  VerifySilent = 1,
  VerifySmartCardNone = 2,
  VerifySmartCardSilent = 3,
  VerifyAllowUI = 4
} X509PrivateKeyVerify;

typedef enum X509RequestType {
  TypeAny = 0,
  TypePkcs10 = 1,
  TypePkcs7 = 2,
  TypeCmc = 3,
  TypeCertificate = 4
} X509RequestType;

// The two below carry every enumerator the SDK has, though the project uses only the
// first: a caller's value outside the span of the enumerators is not one the type holds.
typedef enum X509RequestInheritOptions {
  InheritDefault = 0,
  InheritNewDefaultKey = 0x1,
  InheritNewSimilarKey = 0x2,
  InheritPrivateKey = 0x3,
  InheritPublicKey = 0x4,
  InheritKeyMask = 0xf,
  InheritNone = 0x10,
  InheritRenewalCertificateFlag = 0x20,
  InheritTemplateFlag = 0x40,
  InheritSubjectFlag = 0x80,
  InheritExtensionsFlag = 0x100,
  InheritSubjectAltNameFlag = 0x200,
  InheritValidityPeriodFlag = 0x400,
  InheritReserved80000000 = (int)0x80000000
} X509RequestInheritOptions;
typedef enum InnerRequestLevel { LevelInnermost = 0, LevelNext = 1 } InnerRequestLevel;
typedef enum RequestClientInfoClientId {
  ClientIdNone = 0,
  ClientIdXEnroll2003 = 1,
  ClientIdAutoEnroll2003 = 2,
  ClientIdWizard2003 = 3,
  ClientIdCertReq2003 = 4,
  ClientIdDefaultRequest = 5,
  ClientIdAutoEnroll = 6,
  ClientIdRequestWizard = 7,
  ClientIdEOBO = 8,
  ClientIdCertReq = 9,
  ClientIdTest = 10,
  ClientIdWinRT = 11,
  ClientIdUserStart = 1000
} RequestClientInfoClientId;
typedef enum Pkcs10AllowedSignatureTypes {
  AllowedKeySignature = 0x1,
  AllowedNullSignature = 0x2
} Pkcs10AllowedSignatureTypes;

typedef enum InstallResponseRestrictionFlags {
  AllowNone = 0,
  AllowNoOutstandingRequest = 0x1,
  AllowUntrustedCertificate = 0x2,
  AllowUntrustedRoot = 0x4
} InstallResponseRestrictionFlags;

typedef enum PFXExportOptions {
  PFXExportEEOnly = 0,
  PFXExportChainNoRoot = 1,
  PFXExportChainWithRoot = 2
} PFXExportOptions;

// ---- interfaces that appear in signatures only ----
struct ICspInformations;
struct ICspStatus;
struct ICspStatuses;
struct ICryptAttributes;
struct IX509EnrollmentStatus;
struct IX509NameValuePairs;
struct IX509PublicKey;
struct IX509SignatureInformation;

// ---- interfaces ----
struct IObjectId : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE InitializeFromName(CERTENROLL_OBJECTID Name) = 0;
  virtual HRESULT STDMETHODCALLTYPE InitializeFromValue(BSTR strValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE InitializeFromAlgorithmName(ObjectIdGroupId GroupId,
                                                                ObjectIdPublicKeyFlags KeyFlags,
                                                                AlgorithmFlags AlgFlags,
                                                                BSTR strAlgorithmName) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Name(CERTENROLL_OBJECTID* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_FriendlyName(BSTR* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_FriendlyName(BSTR Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Value(BSTR* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetAlgorithmName(ObjectIdGroupId GroupId,
                                                     ObjectIdPublicKeyFlags KeyFlags,
                                                     BSTR* pstrAlgorithmName) = 0;
};

struct IObjectIds : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE get_ItemByIndex(LONG Index, IObjectId** pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Count(LONG* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get__NewEnum(LPUNKNOWN* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE Add(IObjectId* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE Remove(LONG Index) = 0;
  virtual HRESULT STDMETHODCALLTYPE Clear() = 0;
  virtual HRESULT STDMETHODCALLTYPE AddRange(IObjectIds* pValue) = 0;
};

struct IX500DistinguishedName : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE Decode(BSTR strEncodedName,
                                           EncodingType Encoding = XCN_CRYPT_STRING_BASE64,
                                           X500NameFlags NameFlags = XCN_CERT_NAME_STR_NONE) = 0;
  virtual HRESULT STDMETHODCALLTYPE Encode(BSTR strName,
                                           X500NameFlags NameFlags = XCN_CERT_NAME_STR_NONE) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Name(BSTR* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_EncodedName(EncodingType Encoding, BSTR* pValue) = 0;
};

struct IX509PrivateKey : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE Open() = 0;
  virtual HRESULT STDMETHODCALLTYPE Create() = 0;
  virtual HRESULT STDMETHODCALLTYPE Close() = 0;
  virtual HRESULT STDMETHODCALLTYPE Delete() = 0;
  virtual HRESULT STDMETHODCALLTYPE Verify(X509PrivateKeyVerify VerifyType) = 0;
  virtual HRESULT STDMETHODCALLTYPE Import(BSTR strExportType, BSTR strEncodedKey,
                                           EncodingType Encoding = XCN_CRYPT_STRING_BASE64) = 0;
  virtual HRESULT STDMETHODCALLTYPE Export(BSTR strExportType, EncodingType Encoding,
                                           BSTR* pstrEncodedKey) = 0;
  virtual HRESULT STDMETHODCALLTYPE ExportPublicKey(IX509PublicKey** ppPublicKey) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ContainerName(BSTR* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_ContainerName(BSTR Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ContainerNamePrefix(BSTR* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_ContainerNamePrefix(BSTR Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ReaderName(BSTR* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_ReaderName(BSTR Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_CspInformations(ICspInformations** ppValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_CspInformations(ICspInformations* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_CspStatus(ICspStatus** ppValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_CspStatus(ICspStatus* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ProviderName(BSTR* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_ProviderName(BSTR Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ProviderType(X509ProviderType* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_ProviderType(X509ProviderType Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_LegacyCsp(VARIANT_BOOL* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_LegacyCsp(VARIANT_BOOL Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Algorithm(IObjectId** ppValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Algorithm(IObjectId* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_KeySpec(X509KeySpec* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_KeySpec(X509KeySpec Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Length(LONG* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Length(LONG Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ExportPolicy(X509PrivateKeyExportFlags* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_ExportPolicy(X509PrivateKeyExportFlags Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_KeyUsage(X509PrivateKeyUsageFlags* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_KeyUsage(X509PrivateKeyUsageFlags Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_KeyProtection(X509PrivateKeyProtection* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_KeyProtection(X509PrivateKeyProtection Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_MachineContext(VARIANT_BOOL* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_MachineContext(VARIANT_BOOL Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_SecurityDescriptor(BSTR* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_SecurityDescriptor(BSTR Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Certificate(EncodingType Encoding, BSTR* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Certificate(EncodingType Encoding, BSTR Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_UniqueContainerName(BSTR* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Opened(VARIANT_BOOL* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_DefaultContainer(VARIANT_BOOL* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Existing(VARIANT_BOOL* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Existing(VARIANT_BOOL Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Silent(VARIANT_BOOL* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Silent(VARIANT_BOOL Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ParentWindow(LONG* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_ParentWindow(LONG Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_UIContextMessage(BSTR* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_UIContextMessage(BSTR Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Pin(BSTR Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_FriendlyName(BSTR* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_FriendlyName(BSTR Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Description(BSTR* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Description(BSTR Value) = 0;
};

struct IX509Extension : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE Initialize(IObjectId* pObjectId, EncodingType Encoding,
                                               BSTR strEncodedData) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ObjectId(IObjectId** ppValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_RawData(EncodingType Encoding, BSTR* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Critical(VARIANT_BOOL* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Critical(VARIANT_BOOL Value) = 0;
};

struct IX509Extensions : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE get_ItemByIndex(LONG Index, IX509Extension** pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Count(LONG* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get__NewEnum(LPUNKNOWN* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE Add(IX509Extension* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE Remove(LONG Index) = 0;
  virtual HRESULT STDMETHODCALLTYPE Clear() = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IndexByObjectId(IObjectId* pObjectId, LONG* pIndex) = 0;
  virtual HRESULT STDMETHODCALLTYPE AddRange(IX509Extensions* pValue) = 0;
};

struct IX509ExtensionKeyUsage : public IX509Extension {
  virtual HRESULT STDMETHODCALLTYPE InitializeEncode(X509KeyUsageFlags UsageFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE InitializeDecode(EncodingType Encoding,
                                                     BSTR strEncodedData) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_KeyUsage(X509KeyUsageFlags* pValue) = 0;
};

struct IX509ExtensionEnhancedKeyUsage : public IX509Extension {
  virtual HRESULT STDMETHODCALLTYPE InitializeEncode(IObjectIds* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE InitializeDecode(EncodingType Encoding,
                                                     BSTR strEncodedData) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_EnhancedKeyUsage(IObjectIds** ppValue) = 0;
};

struct IX509CertificateRequest : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE Initialize(X509CertificateEnrollmentContext Context) = 0;
  virtual HRESULT STDMETHODCALLTYPE Encode() = 0;
  virtual HRESULT STDMETHODCALLTYPE ResetForEncode() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetInnerRequest(InnerRequestLevel Level,
                                                    IX509CertificateRequest** ppValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Type(X509RequestType* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  get_EnrollmentContext(X509CertificateEnrollmentContext* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Silent(VARIANT_BOOL* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Silent(VARIANT_BOOL Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ParentWindow(LONG* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_ParentWindow(LONG Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_UIContextMessage(BSTR* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_UIContextMessage(BSTR Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_SuppressDefaults(VARIANT_BOOL* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_SuppressDefaults(VARIANT_BOOL Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_RenewalCertificate(EncodingType Encoding, BSTR* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_RenewalCertificate(EncodingType Encoding, BSTR Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ClientId(RequestClientInfoClientId* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_ClientId(RequestClientInfoClientId Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_CspInformations(ICspInformations** ppValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_CspInformations(ICspInformations* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_HashAlgorithm(IObjectId** ppValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_HashAlgorithm(IObjectId* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_AlternateSignatureAlgorithm(VARIANT_BOOL* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_AlternateSignatureAlgorithm(VARIANT_BOOL Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_RawData(EncodingType Encoding, BSTR* pValue) = 0;
};

struct IX509CertificateRequestPkcs10 : public IX509CertificateRequest {
  virtual HRESULT STDMETHODCALLTYPE
  InitializeFromTemplateName(X509CertificateEnrollmentContext Context, BSTR strTemplateName) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  InitializeFromPrivateKey(X509CertificateEnrollmentContext Context, IX509PrivateKey* pPrivateKey,
                           BSTR strTemplateName) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  InitializeFromPublicKey(X509CertificateEnrollmentContext Context, IX509PublicKey* pPublicKey,
                          BSTR strTemplateName) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  InitializeFromCertificate(X509CertificateEnrollmentContext Context, BSTR strCertificate,
                            EncodingType Encoding, X509RequestInheritOptions InheritOptions) = 0;
  virtual HRESULT STDMETHODCALLTYPE InitializeDecode(BSTR strEncodedData,
                                                     EncodingType Encoding) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  CheckSignature(Pkcs10AllowedSignatureTypes AllowedSignatureTypes) = 0;
  virtual HRESULT STDMETHODCALLTYPE IsSmartCard(VARIANT_BOOL* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_TemplateObjectId(IObjectId** ppValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_PublicKey(IX509PublicKey** ppValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_PrivateKey(IX509PrivateKey** ppValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_NullSigned(VARIANT_BOOL* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ReuseKey(VARIANT_BOOL* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_OldCertificate(EncodingType Encoding, BSTR* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Subject(IX500DistinguishedName** ppValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Subject(IX500DistinguishedName* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_CspStatuses(ICspStatuses** ppValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_SmimeCapabilities(VARIANT_BOOL* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_SmimeCapabilities(VARIANT_BOOL Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  get_SignatureInformation(IX509SignatureInformation** ppValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_KeyContainerNamePrefix(BSTR* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_KeyContainerNamePrefix(BSTR Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_CryptAttributes(ICryptAttributes** ppValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_X509Extensions(IX509Extensions** ppValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_CriticalExtensions(IObjectIds** ppValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_SuppressOids(IObjectIds** ppValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_RawDataToBeSigned(EncodingType Encoding, BSTR* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Signature(EncodingType Encoding, BSTR* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCspStatuses(X509KeySpec KeySpec,
                                                   ICspStatuses** ppCspStatuses) = 0;
};

struct IX509Enrollment : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE Initialize(X509CertificateEnrollmentContext Context) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  InitializeFromTemplateName(X509CertificateEnrollmentContext Context, BSTR strTemplateName) = 0;
  virtual HRESULT STDMETHODCALLTYPE InitializeFromRequest(IX509CertificateRequest* pRequest) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateRequest(EncodingType Encoding, BSTR* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE Enroll() = 0;
  virtual HRESULT STDMETHODCALLTYPE InstallResponse(InstallResponseRestrictionFlags Restrictions,
                                                    BSTR strResponse, EncodingType Encoding,
                                                    BSTR strPassword) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreatePFX(BSTR strPassword, PFXExportOptions ExportOptions,
                                              EncodingType Encoding, BSTR* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Request(IX509CertificateRequest** pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Silent(VARIANT_BOOL* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Silent(VARIANT_BOOL Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ParentWindow(LONG* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_ParentWindow(LONG Value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_NameValuePairs(IX509NameValuePairs** ppValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  get_EnrollmentContext(X509CertificateEnrollmentContext* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Status(IX509EnrollmentStatus** ppValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Certificate(EncodingType Encoding, BSTR* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Response(EncodingType Encoding, BSTR* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_CertificateFriendlyName(BSTR* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_CertificateFriendlyName(BSTR strValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_CertificateDescription(BSTR* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_CertificateDescription(BSTR strValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_RequestId(LONG* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_CAConfigString(BSTR* pValue) = 0;
};

// ---- identifiers ----
extern "C" {
extern const IID IID_IObjectId;
extern const IID IID_IObjectIds;
extern const IID IID_IX500DistinguishedName;
extern const IID IID_IX509PrivateKey;
extern const IID IID_IX509Extension;
extern const IID IID_IX509Extensions;
extern const IID IID_IX509ExtensionKeyUsage;
extern const IID IID_IX509ExtensionEnhancedKeyUsage;
extern const IID IID_IX509CertificateRequest;
extern const IID IID_IX509CertificateRequestPkcs10;
extern const IID IID_IX509Enrollment;
extern const CLSID CLSID_CObjectId;
extern const CLSID CLSID_CObjectIds;
extern const CLSID CLSID_CX500DistinguishedName;
extern const CLSID CLSID_CX509ExtensionKeyUsage;
extern const CLSID CLSID_CX509ExtensionEnhancedKeyUsage;
extern const CLSID CLSID_CX509CertificateRequestPkcs10;
extern const CLSID CLSID_CX509Enrollment;
}
