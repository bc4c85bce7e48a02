// The check blob of 'B' and 'N': decrypted under the forced key with the cipher
// the command letter selects, it must equal the value data byte for byte.
#include "crypto/byte_array.h"
#include "crypto/forced_key.h"
#include "crypto/pw_crypto_api_vb.h"
#include "crypto/pw_crypto_api_vb_mscrypto.h"
#include "dispatch/storage_manager.h"
#include "registry/base64_decoder.h"
#include "trace/error_stack.h"
#include "trace/trace.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr LONG kDecodeFault = 7011;
constexpr LONG kDecodesToNothing = 7012;
constexpr LONG kDiffers = 7013;
constexpr LONG kWrongLength = 7014;
constexpr LONG kNoArray = 7015;
constexpr LONG kArrayFault = 7016;
constexpr LONG kCheckFault = 7019;
constexpr LONG kUnknownSelector = 7033;

bool checkFalse(const char* line = "PWEXE Storage_Manager_No_console::checkBlob - End false") {
  writeTrace(line, TRACE_END);
  return false;
}

bool decryptFalse(const char* line) {
  writeTrace(line, TRACE_END);
  return false;
}

}  // namespace

bool Storage_Manager_No_console::checkBlob(LONG* error, const BYTE* data, LONG length,
                                           const char* blobText, int selector) {
  writeTrace("PWEXE Storage_Manager_No_console::checkBlob - Start", TRACE_START);
  try {
    std::unique_ptr<BYTE[]> blob;
    LONG blobLength = 0;
    try {
      const LONG textLength = LONG(std::strlen(blobText));
      base64Decode(textLength, blobText, nullptr, &blobLength);
      if (blobLength == 0) {
        *error = kDecodesToNothing;
        return checkFalse();
      }
      blob = std::make_unique<BYTE[]>(size_t(blobLength));
      base64Decode(textLength, blobText, blob.get(), &blobLength);
    } catch (...) {
      blob.reset();
      *error = kDecodeFault;
      return checkFalse();
    }

    auto input = std::make_unique<OwnedVariant>();
    auto output = std::make_unique<OwnedVariant>();
    try {
      SafeArrayPtr array = createByteArray(ULONG(blobLength));
      if (!array) {
        *error = kNoArray;
        return checkFalse();
      }
      std::copy_n(blob.get(), blobLength, byteArrayData(array.get()).begin());
      input->get()->vt = VT_ARRAY | VT_UI1;
      input->get()->parray = array.release();  // the input VARIANT destroys it now
      blob.reset();
    } catch (...) {
      *error = kArrayFault;
      return checkFalse("PWEXE Storage_Manager_No_console::checkBlob - End catch");
    }

    if (!decryptBlob(error, *input->get(), output->get(), selector))
      return checkFalse(
          "PWEXE Storage_Manager_No_console::checkBlob - End false (unable to decrypto blob)");

    std::span<const BYTE> plain = byteArrayData(output->get()->parray);
    if (plain.size() != size_t(length)) {
      *error = kWrongLength;
      return checkFalse();
    }
    std::vector<BYTE> copy(plain.begin(), plain.end());
    if (!std::equal(copy.begin(), copy.end(), data)) {
      *error = kDiffers;
      return checkFalse();
    }
  } catch (...) {
    *error = kCheckFault;
    return checkFalse("PWEXE Storage_Manager_No_console::checkBlob - End catch");
  }
  writeTrace("PWEXE Storage_Manager_No_console::checkBlob - End", TRACE_END);
  return true;
}

bool Storage_Manager_No_console::decryptBlob(LONG* error, VARIANT in, VARIANT* out, int selector) {
  writeTrace("PWEXE Storage_Manager_No_console::decryptBlob - Start", TRACE_START);
  // Both proxies live for the whole call and are released on every path.
  PwCryptoApiVB_MSCrypto msProxy;
  PwCryptoApiVB lightProxy;
  if (selector == 0) {
    if (!msProxy.PWpxyInit(forcedKey().data(), kForcedKeyLength, error))
      return decryptFalse(
          "PWEXE Storage_Manager_No_console::decryptBlob - ms_error (unable init pxyvb)");
    if (!msProxy.PWpxyDecrypt(in, out, error))
      return decryptFalse(
          "PWEXE Storage_Manager_No_console::decryptBlob - ms_error (unable to decrypt)");
  } else if (selector == 1) {
    if (!lightProxy.PWpxyInit_ForcedKey(error))
      return decryptFalse(
          "PWEXE Storage_Manager_No_console::decryptBlob - light_error (unable init pxyvb)");
    if (!lightProxy.PWpxyDecrypt(in, out, error))
      return decryptFalse(
          "PWEXE Storage_Manager_No_console::decryptBlob - light_error (unable to decrypt)");
  } else {
    SetError(error, kUnknownSelector);
    return decryptFalse(
        "PWEXE Storage_Manager_No_console::decryptBlob - light_error (unable to decrypt)");
  }
  writeTrace("PWEXE Storage_Manager_No_console::decryptBlob - End", TRACE_END);
  return true;
}
