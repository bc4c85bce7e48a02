// The protected value store's argument text: field splitting, base64 decoding of
// the value data and the check blob, the blob check under both ciphers, and the
// write that follows a check that passes. The first byte picks the cipher.
#include "fuzz_machine.h"
#include "handlers/storage_manager.h"
#include "registry/base64_decoder.h"
#include "registry/blob_fields.h"

#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzMachineRoot();
  fuzz::machineCopy();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const int selector = data[0] & 1;
  // A command text cannot hold a zero byte: the text ends at the first one.
  std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  text.resize(text.find('\0') == std::string::npos ? text.size() : text.find('\0'));

  LONG length = 0;
  base64Decode(LONG(text.size()), text.c_str(), nullptr, &length);
  std::vector<BYTE> decoded(static_cast<size_t>(length));
  base64Decode(LONG(text.size()), text.c_str(), decoded.data(), &length);

  asOneRun([&] {
    Storage_Manager_No_console manager;
    LONG error = 0;
    manager.storeBlob(&error, text.c_str(), selector);
  });
  return 0;
}
