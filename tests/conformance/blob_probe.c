/* Prints a 'B' command text whose check blob is made by the platform's own
 * CryptoAPI: RC2 from the base provider, keyed with CryptDeriveKey from the MD5
 * digest of the given key bytes (CRYPT_NO_SALT, default length), CryptEncrypt
 * with Final set. Built for Windows and run under Wine, it makes blobs with
 * Wine's CryptEncrypt, independently of the system's code.
 *
 *   blob_probe KEY-HEX HIVE KEY-PATH VALUE-NAME TYPE DATA-HEX
 */
#include <windows.h>

#include <wincrypt.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int fromHex(const char* hex, BYTE* out, DWORD max, DWORD* length) {
  size_t n = strlen(hex);
  if (n % 2 != 0 || n / 2 > max) return 0;
  for (size_t i = 0; i < n; i += 2) {
    unsigned v;
    if (sscanf(hex + i, "%2x", &v) != 1) return 0;
    out[i / 2] = (BYTE)v;
  }
  *length = (DWORD)(n / 2);
  return 1;
}

static void printBase64(const BYTE* data, DWORD length) {
  static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (DWORD i = 0; i < length; i += 3) {
    DWORD left = length - i;
    unsigned group = (unsigned)data[i] << 16;
    if (left > 1) group |= (unsigned)data[i + 1] << 8;
    if (left > 2) group |= data[i + 2];
    putchar(alphabet[(group >> 18) & 63]);
    putchar(alphabet[(group >> 12) & 63]);
    putchar(left > 1 ? alphabet[(group >> 6) & 63] : '=');
    putchar(left > 2 ? alphabet[group & 63] : '=');
  }
}

static int fail(const char* call) {
  fprintf(stderr, "blob_probe: %s failed: 0x%08lx\n", call, (unsigned long)GetLastError());
  return 1;
}

int main(int argc, char** argv) {
  static BYTE key[256], data[4096], blob[4096 + 8];
  DWORD keyLength = 0, dataLength = 0, blobLength = 0;
  HCRYPTPROV provider = 0;
  HCRYPTHASH hash = 0;
  HCRYPTKEY rc2 = 0;

  if (argc != 7 || !fromHex(argv[1], key, sizeof key, &keyLength) ||
      !fromHex(argv[6], data, sizeof data, &dataLength)) {
    fprintf(stderr, "usage: blob_probe KEY-HEX HIVE KEY-PATH VALUE-NAME TYPE DATA-HEX\n");
    return 2;
  }
  if (!CryptAcquireContextA(&provider, NULL, MS_DEF_PROV_A, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT))
    return fail("CryptAcquireContextA");
  if (!CryptCreateHash(provider, CALG_MD5, 0, 0, &hash)) return fail("CryptCreateHash");
  if (!CryptHashData(hash, key, keyLength, 0)) return fail("CryptHashData");
  if (!CryptDeriveKey(provider, CALG_RC2, hash, CRYPT_NO_SALT, &rc2)) return fail("CryptDeriveKey");
  memcpy(blob, data, dataLength);
  blobLength = dataLength;
  if (!CryptEncrypt(rc2, 0, TRUE, 0, blob, &blobLength, sizeof blob)) return fail("CryptEncrypt");

  printf("B,%s,%s,%s,%s,", argv[2], argv[3], argv[4], argv[5]);
  printBase64(data, dataLength);
  putchar(',');
  printBase64(blob, blobLength);
  putchar('\n');
  CryptDestroyKey(rc2);
  CryptDestroyHash(hash);
  CryptReleaseContext(provider, 0);
  return 0;
}
