// The redirection marks of the rights command's argument text, which the handler
// interprets itself: "<program and arguments>[ < input][ > report path]".
#pragma once

#include <cstddef>

constexpr size_t kRightsBufferSize = 1024;  // each piece holds at most 1023 characters
constexpr const char* kDefaultReportPath = "c:\\PWY_log\\CACLSReportLog.log";

struct RightsBuffers {
  char commandLine[kRightsBufferSize];
  char beforeOutput[kRightsBufferSize];  // the text before the first '>'
  char beforeInput[kRightsBufferSize];   // the text before the first '<' of that
  char reportPath[kRightsBufferSize];
};

// Zeroes the four buffers and fills them from the argument text. The report path
// begins two characters after the first '>' (the mark and the blank the client puts
// behind it); with fewer than two characters after the mark it is empty, a file that
// cannot be created. Without a '>' it is the default report file. A '<' before the
// '>' cuts the command line there; one leading blank of the text is dropped from it.
// Returns false, with every buffer zero, when the text before the '>' or the report
// path is longer than 1023 characters.
bool splitRedirection(const char* args, RightsBuffers* buffers);
