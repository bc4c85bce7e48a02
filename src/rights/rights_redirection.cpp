#include "rights/rights_redirection.h"

#include <cstring>

namespace {

// Copies `length` characters and a terminator; false when they do not fit.
bool copyPiece(char (&to)[kRightsBufferSize], const char* from, size_t length) {
  if (length >= kRightsBufferSize) return false;
  std::memcpy(to, from, length);
  to[length] = '\0';
  return true;
}

}  // namespace

bool splitRedirection(const char* args, RightsBuffers* buffers) {
  std::memset(buffers, 0, sizeof *buffers);
  const char* output = std::strchr(args, '>');
  size_t beforeOutput = output ? size_t(output - args) : std::strlen(args);
  const char* path = kDefaultReportPath;
  if (output) path = output[1] ? output + 2 : output + 1;
  const char* input = static_cast<const char*>(std::memchr(args, '<', beforeOutput));
  size_t beforeInput = input ? size_t(input - args) : beforeOutput;
  size_t skip = args[0] == ' ' && beforeInput > 0 ? 1 : 0;

  if (!copyPiece(buffers->beforeOutput, args, beforeOutput) ||
      !copyPiece(buffers->reportPath, path, std::strlen(path))) {
    std::memset(buffers, 0, sizeof *buffers);
    return false;
  }
  copyPiece(buffers->beforeInput, args, beforeInput);
  copyPiece(buffers->commandLine, args + skip, beforeInput - skip);
  return true;
}
