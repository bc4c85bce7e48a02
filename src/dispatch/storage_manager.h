// Storage_Manager_No_console: the command handlers. It holds no state; each
// operation lives with the subsystem it belongs to (dispatch/, registry/, ...).
#pragma once

#include <windows.h>

#include <memory>

class Storage_Manager_No_console {
 public:
  // 'F': the command text read from a file, which is deleted (dispatch/command_file.cpp).
  bool readCommandLineFromFile(LONG* error, const char* path, std::unique_ptr<char[]>* commandCopy);

  // 'H' and 'W': the hardware identifiers (registry/hwid_store.cpp).
  bool storeHwid1(LONG* error, const char* args);
  bool storeHwid2(LONG* error, const char* args);
};
