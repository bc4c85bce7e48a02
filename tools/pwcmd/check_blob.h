// Check blobs: the value data encrypted under the forced key, as pwexe decrypts
// them. 'B' takes RC2 through CryptoAPI, keyed exactly as pwexe keys its
// decryption (base provider, MD5 of the forced key, CryptDeriveKey with
// CRYPT_NO_SALT and the provider's default length); 'N' takes the light cipher.
#pragma once

#include <windows.h>

#include <span>
#include <string>
#include <vector>

// False, with the failing call and its error in `failure`, when CryptoAPI refuses.
bool rc2CheckBlob(std::span<const BYTE> data, std::vector<BYTE>* blob, std::string* failure);

std::vector<BYTE> lightCheckBlob(std::span<const BYTE> data);
