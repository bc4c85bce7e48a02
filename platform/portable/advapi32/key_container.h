// Key containers of the base RSA provider. A container is a registry key under a
// platform-private key of the hive of its key set (the machine's for
// CRYPT_MACHINE_KEYSET, else the current user's). Each of its key pairs is a binary
// value in the PRIVATEKEYBLOB layout ("KeyExchangeKeyPair", "SignatureKeyPair") with its
// key permissions beside it ("KeyExchangePermissions", "SignaturePermissions"). A hive
// that holds a private key is readable by its owner only.
#pragma once

#include <windows.h>

#include <wincrypt.h>

#include "machine/ossl.h"

#include <string>
#include <string_view>
#include <vector>

namespace pw::crypt {

using ossl::Pkey;

struct StoredPair {
  std::string blob;  // PRIVATEKEYBLOB
  DWORD permissions = 0;
};

// The hive root of a key set: HKEY_LOCAL_MACHINE for CRYPT_MACHINE_KEYSET.
HKEY keySetRoot(DWORD flags);
bool containerExists(std::string_view name, DWORD flags);
// Win32 status codes.
LONG createContainer(std::string_view name, DWORD flags);
LONG deleteContainer(std::string_view name, DWORD flags);
// The names of the key set's containers in the registry's order.
std::vector<std::string> containerNames(DWORD flags);
// ERROR_FILE_NOT_FOUND when the container or the pair is missing.
LONG readKeyPair(std::string_view name, DWORD flags, DWORD keySpec, StoredPair* out);
LONG writeKeyPair(std::string_view name, DWORD flags, DWORD keySpec, const StoredPair& pair);

// RSA keys in CryptoAPI's blob layouts (PUBLICKEYBLOB, PRIVATEKEYBLOB), over OpenSSL
// (advapi32/rsa_blob.cpp).
Pkey pkeyFromBlob(std::string_view blob);  // null for anything but a sound RSA blob
// The blob of a key at `bits` bits (0: the modulus's own), its numbers widened by zeros
// to the widths that length gives them; empty when the key does not fit it.
std::string blobFromPkey(EVP_PKEY* key, bool withPrivate, ALG_ID alg, DWORD bits = 0);
bool isPrivateBlob(std::string_view blob);

// The key pair (AT_KEYEXCHANGE or AT_SIGNATURE) of a container of the key set named by
// `flags`, for the enrolment components; null when the container or the pair is missing.
Pkey containerKeyPair(std::string_view container, DWORD flags, DWORD keySpec);

}  // namespace pw::crypt
