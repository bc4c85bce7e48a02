// 'B' and 'N': one registry value, written only for a caller that proves it holds
// the forced key. Nothing touches the registry before the check blob has passed.
#include "handlers/storage_manager.h"
#include "registry/base64_decoder.h"
#include "registry/blob_fields.h"
#include "trace/trace.h"
#include "win32/reg_key.h"
#include "win32/result_codes.h"

#include <cstring>
#include <memory>

namespace {

constexpr const char* kEndFalse = "PWEXE Storage_Manager_No_console::storeBlob - End false";

HKEY hiveOf(char letter) {
  if (letter == 'C') return HKEY_CURRENT_USER;
  if (letter == 'L') return HKEY_LOCAL_MACHINE;
  return nullptr;
}

DWORD typeOf(char letter) {
  if (letter == 'B') return REG_BINARY;
  if (letter == 'D') return REG_DWORD;
  if (letter == 'S') return REG_SZ;
  return REG_NONE;
}

}  // namespace

bool Storage_Manager_No_console::storeBlob(LONG* error, const char* args, int selector) {
  writeTrace("PWEXE Storage_Manager_No_console::storeBlob - Start", TRACE_START);
  BlobFields fields;
  if (!getParams(error, args, &fields)) return traceFail(kEndFalse);
  win32::RegKey key;
  std::unique_ptr<BYTE[]> data;
  try {
    HKEY hive = hiveOf(fields.hive[0]);
    if (!hive) {
      *error = rc::kBadHive;
      return traceFail(kEndFalse);
    }

    LONG length = 0;
    try {
      const LONG textLength = LONG(fields.valueData.size());
      base64Decode(textLength, fields.valueData.c_str(), nullptr, &length);
      if (length == 0) {
        *error = rc::kDecodesToNothing;
        return traceFail(kEndFalse);
      }
      // The guard byte behind the buffer keeps every value to exactly the decoded bytes.
      data = std::make_unique<BYTE[]>(size_t(length) + 1);
      data[length] = win32::kDataGuardByte;
      base64Decode(textLength, fields.valueData.c_str(), data.get(), &length);
    } catch (...) {
      data.reset();
      *error = rc::kWrongFieldCount;  // the code a decode fault has always had
      return traceFail(kEndFalse);
    }

    if (!checkBlob(error, data.get(), length, fields.checkBlob.c_str(), selector))
      return traceFail(kEndFalse);

    // The type is looked at only once the check blob has passed.
    DWORD type = typeOf(fields.valueType[0]);
    if (type == REG_NONE) {
      *error = rc::kBadValueType;
      return traceFail(kEndFalse);
    }
    if (RegCreateKeyExA(hive, fields.keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_WRITE, nullptr, key.out(), nullptr) != ERROR_SUCCESS) {
      *error = rc::kKeyNotWritable;
      return traceFail(kEndFalse);
    }
    if (RegSetValueExA(key.get(), fields.valueName.c_str(), 0, type, data.get(), DWORD(length)) !=
        ERROR_SUCCESS) {
      key.reset();
      *error = rc::kValueNotWritten;
      return traceFail(kEndFalse);
    }
    key.reset();
  } catch (...) {
    key.reset();
    *error = rc::kStoreBlobFault;
    writeTrace("PWEXE Storage_Manager_No_console::storeBlob - End catch", TRACE_END);
    return false;
  }
  writeTrace("PWEXE Storage_Manager_No_console::storeBlob - End true", TRACE_END);
  return true;
}
