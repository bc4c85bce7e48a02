// getParams: the six fields of 'B' and 'N'. Fields 1 to 5 end at the next comma;
// the sixth is the whole rest of the text, commas included.
#include "handlers/storage_manager.h"
#include "registry/blob_fields.h"
#include "trace/trace.h"
#include "win32/result_codes.h"

#include <cstring>
#include <stdexcept>

namespace {

// The text up to the next comma; `text` moves behind that comma.
std::string takeField(const char*& text) {
  const char* comma = std::strchr(text, ',');
  if (!comma) throw std::invalid_argument("a field is missing");
  std::string field(text, comma);
  text = comma + 1;
  return field;
}

}  // namespace

bool Storage_Manager_No_console::getParams(LONG* error, const char* args, BlobFields* fields) {
  writeTrace("PWEXE Storage_Manager_No_console::getParams - Start", TRACE_START);
  try {
    const char* at = args;
    fields->hive = takeField(at);
    fields->keyPath = takeField(at);
    fields->valueName = takeField(at);
    fields->valueType = takeField(at);
    fields->valueData = takeField(at);
    fields->checkBlob = at;
  } catch (...) {
    *error = rc::kSplitFault;
    writeTrace("PWEXE Storage_Manager_No_console::getParams - End catch", TRACE_END);
    return false;
  }
  writeTrace("PWEXE Storage_Manager_No_console::getParams - End", TRACE_END);
  return true;
}
