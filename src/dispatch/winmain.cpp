// The program's entry: one command per run, its result code as the exit code.
#include "dispatch/command_table.h"
#include "handlers/storage_manager.h"
#include "trace/trace.h"
#include "win32/crypt.h"
#include "win32/result_codes.h"

#include <cstdio>
#include <cstring>
#include <memory>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR lpCmdLine, int) {
  const char* text = lpCmdLine ? lpCmdLine : "";
  writeTrace("PWEXE MAIN - Start", TRACE_START);
  writeTrace(text, TRACE_PLAIN);

  LONG result = 0;
  Storage_Manager_No_console manager;
  CommandCopy commandCopy;
  if (text[0] == 'F') {
    // 'F' alone has no path: it reads as an unreadable command file.
    const char* path = text[1] ? text + 2 : "";
    if (!manager.readCommandLineFromFile(&result, path, &commandCopy)) return result;
  } else {
    size_t length = std::strlen(text);
    commandCopy = std::make_unique<char[]>(length + 1);
    std::memcpy(commandCopy.get(), text, length);
  }

  char* command = commandCopy.get();
  int fields = countFields(command);
  char letter = command[0];
  writeTrace("PWEXE MAIN - entering the switch", TRACE_PLAIN);

  LONG lReturn = 0;
  win32::CryptKey key;  // the key that 'K' obtains, destroyed right after the command
  CommandContext context{manager, key.out()};
  if (const Command* entry = findCommand(letter); !entry) {
    lReturn = rc::kUnknownCommand;
  } else if (fields != entry->fieldCount) {
    lReturn = rc::kWrongFieldCount;
  } else {
    // The second character, normally the ',' after the letter, is skipped unseen.
    char* args = command[1] ? command + 2 : command + 1;
    lReturn = entry->run(context, &result, args) ? 0 : result;
    if (letter == 'K') key.reset();
  }

  commandCopy.reset();
  char line[32];
  std::snprintf(line, sizeof line, "lReturn=%d", int(lReturn));
  writeTrace(line, TRACE_PLAIN);
  writeTrace("PWEXE MAIN - end", TRACE_END);
  return lReturn;
}
