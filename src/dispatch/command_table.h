// The command table: each command letter, the number of fields its text must
// have and the handler that carries it out.
#pragma once

#include <windows.h>

#include <wincrypt.h>

class Storage_Manager_No_console;

struct CommandContext {
  Storage_Manager_No_console& manager;
  HCRYPTKEY* key;  // 'K' leaves the key it obtained here, for WinMain to destroy
};

struct Command {
  char letter;
  int fieldCount;
  // The argument text lies in WinMain's command copy; 'K' and 'Q' rewrite it in place.
  bool (*run)(CommandContext& context, LONG* error, char* args);
};

// The entry of a letter, or null when the letter is no command.
const Command* findCommand(char letter);

// 1 plus the number of ',' in the whole text.
int countFields(const char* text);
