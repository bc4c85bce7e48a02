// Security identifiers, access control lists and security descriptors: the structures
// of the SDK's winnt.h and the advapi32 functions of securitybaseapi.h and winbase.h
// that work on them (included by <windows.h>). Layouts are Windows' own: these bytes
// are what a program builds and reads.
#pragma once

#include <windows.h>

typedef void* PSID;
typedef void* PSECURITY_DESCRIPTOR;
typedef DWORD SECURITY_INFORMATION, *PSECURITY_INFORMATION;
typedef WORD SECURITY_DESCRIPTOR_CONTROL, *PSECURITY_DESCRIPTOR_CONTROL;
typedef ACCESS_MASK* PACCESS_MASK;

// ---- security identifiers ----
typedef struct _SID_IDENTIFIER_AUTHORITY {
  BYTE Value[6];
} SID_IDENTIFIER_AUTHORITY, *PSID_IDENTIFIER_AUTHORITY;

typedef struct _SID {
  BYTE Revision;
  BYTE SubAuthorityCount;
  SID_IDENTIFIER_AUTHORITY IdentifierAuthority;
  DWORD SubAuthority[1];
} SID, *PISID;

#define SID_REVISION 1
#define SID_MAX_SUB_AUTHORITIES 15
#define SECURITY_MAX_SID_SIZE \
  (sizeof(SID) - sizeof(DWORD) + SID_MAX_SUB_AUTHORITIES * sizeof(DWORD))

#define SECURITY_NULL_SID_AUTHORITY \
  {                                 \
    { 0, 0, 0, 0, 0, 0 }            \
  }
#define SECURITY_WORLD_SID_AUTHORITY \
  {                                  \
    { 0, 0, 0, 0, 0, 1 }             \
  }
#define SECURITY_LOCAL_SID_AUTHORITY \
  {                                  \
    { 0, 0, 0, 0, 0, 2 }             \
  }
#define SECURITY_CREATOR_SID_AUTHORITY \
  {                                    \
    { 0, 0, 0, 0, 0, 3 }               \
  }
#define SECURITY_NT_AUTHORITY \
  {                           \
    { 0, 0, 0, 0, 0, 5 }      \
  }

#define SECURITY_NULL_RID 0x00000000
#define SECURITY_WORLD_RID 0x00000000
#define SECURITY_LOCAL_RID 0x00000000
#define SECURITY_CREATOR_OWNER_RID 0x00000000
#define SECURITY_CREATOR_GROUP_RID 0x00000001
#define SECURITY_NETWORK_RID 0x00000002
#define SECURITY_INTERACTIVE_RID 0x00000004
#define SECURITY_SERVICE_RID 0x00000006
#define SECURITY_ANONYMOUS_LOGON_RID 0x00000007
#define SECURITY_AUTHENTICATED_USER_RID 0x0000000B
#define SECURITY_LOCAL_SYSTEM_RID 0x00000012
#define SECURITY_LOCAL_SERVICE_RID 0x00000013
#define SECURITY_NETWORK_SERVICE_RID 0x00000014
#define SECURITY_BUILTIN_DOMAIN_RID 0x00000020
#define DOMAIN_ALIAS_RID_ADMINS 0x00000220
#define DOMAIN_ALIAS_RID_USERS 0x00000221
#define DOMAIN_ALIAS_RID_GUESTS 0x00000222
#define DOMAIN_ALIAS_RID_POWER_USERS 0x00000223
#define DOMAIN_ALIAS_RID_BACKUP_OPS 0x00000227

typedef enum _SID_NAME_USE {
  SidTypeUser = 1,
  SidTypeGroup,
  SidTypeDomain,
  SidTypeAlias,
  SidTypeWellKnownGroup,
  SidTypeDeletedAccount,
  SidTypeInvalid,
  SidTypeUnknown,
  SidTypeComputer,
  SidTypeLabel,
  SidTypeLogonSession
} SID_NAME_USE,
    *PSID_NAME_USE;

// The values of the SDK's WELL_KNOWN_SID_TYPE for the identities the machine knows.
typedef enum {
  WinNullSid = 0,
  WinWorldSid = 1,
  WinLocalSid = 2,
  WinCreatorOwnerSid = 3,
  WinCreatorGroupSid = 4,
  WinNtAuthoritySid = 7,
  WinNetworkSid = 9,
  WinInteractiveSid = 11,
  WinServiceSid = 12,
  WinAnonymousSid = 13,
  WinAuthenticatedUserSid = 17,
  WinLocalSystemSid = 22,
  WinLocalServiceSid = 23,
  WinNetworkServiceSid = 24,
  WinBuiltinDomainSid = 25,
  WinBuiltinAdministratorsSid = 26,
  WinBuiltinUsersSid = 27,
  WinBuiltinGuestsSid = 28,
  WinBuiltinPowerUsersSid = 29,
  WinBuiltinBackupOperatorsSid = 33
} WELL_KNOWN_SID_TYPE;

// ---- access rights ----
#define STANDARD_RIGHTS_REQUIRED 0x000F0000u
#define STANDARD_RIGHTS_EXECUTE READ_CONTROL
#define SPECIFIC_RIGHTS_ALL 0x0000FFFFu
#define ACCESS_SYSTEM_SECURITY 0x01000000u

#define FILE_LIST_DIRECTORY 0x0001u
#define FILE_ADD_FILE 0x0002u
#define FILE_ADD_SUBDIRECTORY 0x0004u
#define FILE_READ_EA 0x0008u
#define FILE_WRITE_EA 0x0010u
#define FILE_EXECUTE 0x0020u
#define FILE_TRAVERSE 0x0020u
#define FILE_DELETE_CHILD 0x0040u
#define FILE_READ_ATTRIBUTES 0x0080u
#define FILE_WRITE_ATTRIBUTES 0x0100u
#define FILE_ALL_ACCESS (STANDARD_RIGHTS_REQUIRED | SYNCHRONIZE | 0x1FFu)
#define FILE_GENERIC_READ \
  (STANDARD_RIGHTS_READ | FILE_READ_DATA | FILE_READ_ATTRIBUTES | FILE_READ_EA | SYNCHRONIZE)
#define FILE_GENERIC_WRITE                                                           \
  (STANDARD_RIGHTS_WRITE | FILE_WRITE_DATA | FILE_WRITE_ATTRIBUTES | FILE_WRITE_EA | \
   FILE_APPEND_DATA | SYNCHRONIZE)
#define FILE_GENERIC_EXECUTE \
  (STANDARD_RIGHTS_EXECUTE | FILE_READ_ATTRIBUTES | FILE_EXECUTE | SYNCHRONIZE)

typedef struct _GENERIC_MAPPING {
  ACCESS_MASK GenericRead;
  ACCESS_MASK GenericWrite;
  ACCESS_MASK GenericExecute;
  ACCESS_MASK GenericAll;
} GENERIC_MAPPING, *PGENERIC_MAPPING;

// ---- access control lists and entries ----
typedef struct _ACL {
  BYTE AclRevision;
  BYTE Sbz1;
  WORD AclSize;
  WORD AceCount;
  WORD Sbz2;
} ACL, *PACL;

typedef struct _ACE_HEADER {
  BYTE AceType;
  BYTE AceFlags;
  WORD AceSize;
} ACE_HEADER, *PACE_HEADER;

typedef struct _ACCESS_ALLOWED_ACE {
  ACE_HEADER Header;
  ACCESS_MASK Mask;
  DWORD SidStart;
} ACCESS_ALLOWED_ACE, *PACCESS_ALLOWED_ACE;

typedef struct _ACCESS_DENIED_ACE {
  ACE_HEADER Header;
  ACCESS_MASK Mask;
  DWORD SidStart;
} ACCESS_DENIED_ACE, *PACCESS_DENIED_ACE;

#define ACL_REVISION 2
#define ACL_REVISION_DS 4
#define MAX_ACL_REVISION ACL_REVISION_DS

#define ACCESS_ALLOWED_ACE_TYPE 0x0
#define ACCESS_DENIED_ACE_TYPE 0x1
#define SYSTEM_AUDIT_ACE_TYPE 0x2

#define OBJECT_INHERIT_ACE 0x01
#define CONTAINER_INHERIT_ACE 0x02
#define NO_PROPAGATE_INHERIT_ACE 0x04
#define INHERIT_ONLY_ACE 0x08
#define INHERITED_ACE 0x10
#define VALID_INHERIT_FLAGS 0x1F

#define MAXDWORD 0xFFFFFFFFu

typedef enum _ACL_INFORMATION_CLASS {
  AclRevisionInformation = 1,
  AclSizeInformation
} ACL_INFORMATION_CLASS;

typedef struct _ACL_REVISION_INFORMATION {
  DWORD AclRevision;
} ACL_REVISION_INFORMATION;

typedef struct _ACL_SIZE_INFORMATION {
  DWORD AceCount;
  DWORD AclBytesInUse;
  DWORD AclBytesFree;
} ACL_SIZE_INFORMATION;

// ---- security descriptors ----
typedef struct _SECURITY_DESCRIPTOR {
  BYTE Revision;
  BYTE Sbz1;
  SECURITY_DESCRIPTOR_CONTROL Control;
  PSID Owner;
  PSID Group;
  PACL Sacl;
  PACL Dacl;
} SECURITY_DESCRIPTOR, *PISECURITY_DESCRIPTOR;

#define SECURITY_DESCRIPTOR_REVISION 1
#define SECURITY_DESCRIPTOR_MIN_LENGTH (sizeof(SECURITY_DESCRIPTOR))

#define SE_OWNER_DEFAULTED 0x0001
#define SE_GROUP_DEFAULTED 0x0002
#define SE_DACL_PRESENT 0x0004
#define SE_DACL_DEFAULTED 0x0008
#define SE_SACL_PRESENT 0x0010
#define SE_SACL_DEFAULTED 0x0020
#define SE_DACL_AUTO_INHERIT_REQ 0x0100
#define SE_SACL_AUTO_INHERIT_REQ 0x0200
#define SE_DACL_AUTO_INHERITED 0x0400
#define SE_SACL_AUTO_INHERITED 0x0800
#define SE_DACL_PROTECTED 0x1000
#define SE_SACL_PROTECTED 0x2000
#define SE_SELF_RELATIVE 0x8000

#define OWNER_SECURITY_INFORMATION 0x00000001u
#define GROUP_SECURITY_INFORMATION 0x00000002u
#define DACL_SECURITY_INFORMATION 0x00000004u
#define SACL_SECURITY_INFORMATION 0x00000008u
#define UNPROTECTED_SACL_SECURITY_INFORMATION 0x10000000u
#define UNPROTECTED_DACL_SECURITY_INFORMATION 0x20000000u
#define PROTECTED_SACL_SECURITY_INFORMATION 0x40000000u
#define PROTECTED_DACL_SECURITY_INFORMATION 0x80000000u

// ---- the errors of these functions ----
#define ERROR_INVALID_OWNER 1307L
#define ERROR_INVALID_PRIMARY_GROUP 1308L
#define ERROR_PRIVILEGE_NOT_HELD 1314L
#define ERROR_NONE_MAPPED 1332L
#define ERROR_INVALID_SID 1337L
#define ERROR_INVALID_ACL 1336L
#define ERROR_INVALID_SECURITY_DESCR 1338L
#define ERROR_BAD_INHERITANCE_ACL 1340L
#define ERROR_INVALID_SECURITY_INFO 1342L
#define ERROR_ALLOTTED_SPACE_EXCEEDED 1344L
#define ERROR_UNKNOWN_REVISION 1305L

// ---- advapi32: security identifiers ----
PW_EXTERN_C BOOL WINAPI AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY pIdentifierAuthority,
                                                 BYTE nSubAuthorityCount, DWORD nSubAuthority0,
                                                 DWORD nSubAuthority1, DWORD nSubAuthority2,
                                                 DWORD nSubAuthority3, DWORD nSubAuthority4,
                                                 DWORD nSubAuthority5, DWORD nSubAuthority6,
                                                 DWORD nSubAuthority7, PSID* pSid);
PW_EXTERN_C PVOID WINAPI FreeSid(PSID pSid);
PW_EXTERN_C BOOL WINAPI InitializeSid(PSID Sid, PSID_IDENTIFIER_AUTHORITY pIdentifierAuthority,
                                      BYTE nSubAuthorityCount);
PW_EXTERN_C DWORD WINAPI GetSidLengthRequired(BYTE nSubAuthorityCount);
PW_EXTERN_C DWORD WINAPI GetLengthSid(PSID pSid);
PW_EXTERN_C BOOL WINAPI IsValidSid(PSID pSid);
PW_EXTERN_C BOOL WINAPI EqualSid(PSID pSid1, PSID pSid2);
PW_EXTERN_C BOOL WINAPI CopySid(DWORD nDestinationSidLength, PSID pDestinationSid, PSID pSourceSid);
PW_EXTERN_C PSID_IDENTIFIER_AUTHORITY WINAPI GetSidIdentifierAuthority(PSID pSid);
PW_EXTERN_C PDWORD WINAPI GetSidSubAuthority(PSID pSid, DWORD nSubAuthority);
PW_EXTERN_C BYTE* WINAPI GetSidSubAuthorityCount(PSID pSid);
PW_EXTERN_C BOOL WINAPI CreateWellKnownSid(WELL_KNOWN_SID_TYPE WellKnownSidType, PSID DomainSid,
                                           PSID pSid, DWORD* cbSid);
PW_EXTERN_C BOOL WINAPI IsWellKnownSid(PSID pSid, WELL_KNOWN_SID_TYPE WellKnownSidType);

// ---- advapi32: account names ----
PW_EXTERN_C BOOL WINAPI LookupAccountNameA(LPCSTR lpSystemName, LPCSTR lpAccountName, PSID Sid,
                                           LPDWORD cbSid, LPSTR ReferencedDomainName,
                                           LPDWORD cchReferencedDomainName, PSID_NAME_USE peUse);
PW_EXTERN_C BOOL WINAPI LookupAccountSidA(LPCSTR lpSystemName, PSID Sid, LPSTR Name,
                                          LPDWORD cchName, LPSTR ReferencedDomainName,
                                          LPDWORD cchReferencedDomainName, PSID_NAME_USE peUse);

// ---- advapi32: access control lists ----
PW_EXTERN_C BOOL WINAPI InitializeAcl(PACL pAcl, DWORD nAclLength, DWORD dwAclRevision);
PW_EXTERN_C BOOL WINAPI IsValidAcl(PACL pAcl);
PW_EXTERN_C BOOL WINAPI GetAclInformation(PACL pAcl, LPVOID pAclInformation,
                                          DWORD nAclInformationLength,
                                          ACL_INFORMATION_CLASS dwAclInformationClass);
PW_EXTERN_C BOOL WINAPI AddAce(PACL pAcl, DWORD dwAceRevision, DWORD dwStartingAceIndex,
                               LPVOID pAceList, DWORD nAceListLength);
PW_EXTERN_C BOOL WINAPI GetAce(PACL pAcl, DWORD dwAceIndex, LPVOID* pAce);
PW_EXTERN_C BOOL WINAPI DeleteAce(PACL pAcl, DWORD dwAceIndex);
PW_EXTERN_C BOOL WINAPI AddAccessAllowedAce(PACL pAcl, DWORD dwAceRevision, DWORD AccessMask,
                                            PSID pSid);
PW_EXTERN_C BOOL WINAPI AddAccessAllowedAceEx(PACL pAcl, DWORD dwAceRevision, DWORD AceFlags,
                                              DWORD AccessMask, PSID pSid);
PW_EXTERN_C BOOL WINAPI AddAccessDeniedAce(PACL pAcl, DWORD dwAceRevision, DWORD AccessMask,
                                           PSID pSid);
PW_EXTERN_C BOOL WINAPI AddAccessDeniedAceEx(PACL pAcl, DWORD dwAceRevision, DWORD AceFlags,
                                             DWORD AccessMask, PSID pSid);
PW_EXTERN_C void WINAPI MapGenericMask(PDWORD AccessMask, PGENERIC_MAPPING GenericMapping);

// ---- advapi32: security descriptors ----
PW_EXTERN_C BOOL WINAPI InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR pSecurityDescriptor,
                                                     DWORD dwRevision);
PW_EXTERN_C BOOL WINAPI IsValidSecurityDescriptor(PSECURITY_DESCRIPTOR pSecurityDescriptor);
PW_EXTERN_C DWORD WINAPI GetSecurityDescriptorLength(PSECURITY_DESCRIPTOR pSecurityDescriptor);
PW_EXTERN_C BOOL WINAPI GetSecurityDescriptorControl(PSECURITY_DESCRIPTOR pSecurityDescriptor,
                                                     PSECURITY_DESCRIPTOR_CONTROL pControl,
                                                     LPDWORD lpdwRevision);
PW_EXTERN_C BOOL WINAPI GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR pSecurityDescriptor,
                                                  LPBOOL lpbDaclPresent, PACL* pDacl,
                                                  LPBOOL lpbDaclDefaulted);
PW_EXTERN_C BOOL WINAPI GetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR pSecurityDescriptor,
                                                   PSID* pOwner, LPBOOL lpbOwnerDefaulted);
PW_EXTERN_C BOOL WINAPI GetSecurityDescriptorGroup(PSECURITY_DESCRIPTOR pSecurityDescriptor,
                                                   PSID* pGroup, LPBOOL lpbGroupDefaulted);
PW_EXTERN_C BOOL WINAPI SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR pSecurityDescriptor,
                                                  BOOL bDaclPresent, PACL pDacl,
                                                  BOOL bDaclDefaulted);
PW_EXTERN_C BOOL WINAPI SetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR pSecurityDescriptor,
                                                   PSID pOwner, BOOL bOwnerDefaulted);
PW_EXTERN_C BOOL WINAPI SetSecurityDescriptorGroup(PSECURITY_DESCRIPTOR pSecurityDescriptor,
                                                   PSID pGroup, BOOL bGroupDefaulted);
