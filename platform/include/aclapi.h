// The access-control API of advapi32: the security of named objects (files and
// folders on this machine) and access lists built from explicit entries.
#pragma once

#include <windows.h>

#include <accctrl.h>

PW_EXTERN_C DWORD WINAPI GetNamedSecurityInfoA(LPCSTR pObjectName, SE_OBJECT_TYPE ObjectType,
                                               SECURITY_INFORMATION SecurityInfo, PSID* ppsidOwner,
                                               PSID* ppsidGroup, PACL* ppDacl, PACL* ppSacl,
                                               PSECURITY_DESCRIPTOR* ppSecurityDescriptor);
PW_EXTERN_C DWORD WINAPI SetNamedSecurityInfoA(LPSTR pObjectName, SE_OBJECT_TYPE ObjectType,
                                               SECURITY_INFORMATION SecurityInfo, PSID psidOwner,
                                               PSID psidGroup, PACL pDacl, PACL pSacl);
PW_EXTERN_C DWORD WINAPI SetEntriesInAclA(ULONG cCountOfExplicitEntries,
                                          PEXPLICIT_ACCESS_A pListOfExplicitEntries, PACL OldAcl,
                                          PACL* NewAcl);
PW_EXTERN_C void WINAPI BuildTrusteeWithSidA(PTRUSTEE_A pTrustee, PSID pSid);
PW_EXTERN_C void WINAPI BuildTrusteeWithNameA(PTRUSTEE_A pTrustee, LPSTR pName);
PW_EXTERN_C void WINAPI BuildExplicitAccessWithNameA(PEXPLICIT_ACCESS_A pExplicitAccess,
                                                     LPSTR pTrusteeName, DWORD AccessPermissions,
                                                     ACCESS_MODE AccessMode, DWORD Inheritance);
