// The check blob of 'B' and 'N': decrypted under the forced key with the cipher
// the command letter selects, it must equal the value data byte for byte.
#include "crypto/byte_array.h"
#include "crypto/forced_key.h"
#include "crypto/pw_crypto_api_vb.h"
#include "crypto/pw_crypto_api_vb_mscrypto.h"
#include "handlers/storage_manager.h"
#include "registry/base64_decoder.h"
#include "trace/error_stack.h"
#include "trace/trace.h"
#include "win32/oleaut.h"
#include "win32/result_codes.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr const char* kCheckFalse = "PWEXE Storage_Manager_No_console::checkBlob - End false";
constexpr const char* kCheckCatch = "PWEXE Storage_Manager_No_console::checkBlob - End catch";

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
        *error = rc::kDecodesToNothing;
        return traceFail(kCheckFalse);
      }
      blob = std::make_unique<BYTE[]>(size_t(blobLength));
      base64Decode(textLength, blobText, blob.get(), &blobLength);
    } catch (...) {
      blob.reset();
      *error = rc::kWrongFieldCount;  // the code a decode fault has always had
      return traceFail(kCheckFalse);
    }

    auto input = std::make_unique<win32::Variant>();
    auto output = std::make_unique<win32::Variant>();
    try {
      win32::SafeArray array = createByteArray(ULONG(blobLength));
      if (!array) {
        *error = rc::kNoBlobArray;
        return traceFail(kCheckFalse);
      }
      std::copy_n(blob.get(), blobLength, byteArrayData(array.get()).begin());
      input->get()->vt = VT_ARRAY | VT_UI1;
      input->get()->parray = array.release();  // the input VARIANT destroys it now
      blob.reset();
    } catch (...) {
      *error = rc::kBlobArrayFault;
      return traceFail(kCheckCatch);
    }

    if (!decryptBlob(error, *input->get(), output->get(), selector))
      return traceFail(
          "PWEXE Storage_Manager_No_console::checkBlob - End false (unable to decrypto blob)");

    std::span<const BYTE> plain = byteArrayData(output->get()->parray);
    if (plain.size() != size_t(length)) {
      *error = rc::kBlobWrongLength;
      return traceFail(kCheckFalse);
    }
    std::vector<BYTE> copy(plain.begin(), plain.end());
    if (!std::equal(copy.begin(), copy.end(), data)) {
      *error = rc::kBlobDiffers;
      return traceFail(kCheckFalse);
    }
  } catch (...) {
    *error = rc::kCheckBlobFault;
    return traceFail(kCheckCatch);
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
      return traceFail(
          "PWEXE Storage_Manager_No_console::decryptBlob - ms_error (unable init pxyvb)");
    if (!msProxy.PWpxyDecrypt(in, out, error))
      return traceFail(
          "PWEXE Storage_Manager_No_console::decryptBlob - ms_error (unable to decrypt)");
  } else if (selector == 1) {
    if (!lightProxy.PWpxyInit_ForcedKey(error))
      return traceFail(
          "PWEXE Storage_Manager_No_console::decryptBlob - light_error (unable init pxyvb)");
    if (!lightProxy.PWpxyDecrypt(in, out, error))
      return traceFail(
          "PWEXE Storage_Manager_No_console::decryptBlob - light_error (unable to decrypt)");
  } else {
    SetError(error, rc::kUnknownSelector);
    return traceFail(
        "PWEXE Storage_Manager_No_console::decryptBlob - light_error (unable to decrypt)");
  }
  writeTrace("PWEXE Storage_Manager_No_console::decryptBlob - End", TRACE_END);
  return true;
}
