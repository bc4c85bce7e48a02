// The six fields of a 'B' or 'N' command, as getParams splits them.
#pragma once

#include <string>

struct BlobFields {
  std::string hive;     // "C..." current user, "L..." local machine
  std::string keyPath;  // created when absent
  std::string valueName;
  std::string valueType;  // "B..." REG_BINARY, "D..." REG_DWORD, "S..." REG_SZ
  std::string valueData;  // base64
  std::string checkBlob;  // base64 of the value data encrypted under the forced key
};
