#include "access_tools/messages.h"

#include "access_tools/console.h"

namespace access_tools {

std::string systemMessage(DWORD error) {
  switch (error) {
    case 2:
      return "The system cannot find the file specified.";
    case 3:
      return "The system cannot find the path specified.";
    case 5:
      return "Access is denied.";
    case 8:
      return "Not enough memory resources are available to process this command.";
    case 32:
      return "The process cannot access the file because it is being used by another process.";
    case 50:
      return "The request is not supported.";
    case 87:
      return "The parameter is incorrect.";
    case 112:
      return "There is not enough space on the disk.";
    case 123:
      return "The filename, directory name, or volume label syntax is incorrect.";
    case 161:
      return "The specified path is invalid.";
    case 206:
      return "The filename or extension is too long.";
    case 1332:
      return "No mapping between account names and security IDs was done.";
    case 1336:
      return "The access control list (ACL) structure is invalid.";
    case 1337:
      return "The security ID structure is invalid.";
    default:
      return format("The operation failed with error %lu.", static_cast<unsigned long>(error));
  }
}

}  // namespace access_tools
