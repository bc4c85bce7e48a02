// Reads a file as the C runtime's text mode does: a carriage return before a line
// feed is dropped, and a byte 26 ends the text. At most `limit` bytes of the file are
// read, so that a file another process keeps growing still comes to an end.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

class TextModeReader {
 public:
  TextModeReader(HANDLE file, uint64_t limit) : file_(file), left_(limit) {}

  // Up to `size` bytes of text; 0 at the end of the text, or once a read has failed.
  size_t read(char* out, size_t size);
  // A read of the file failed: what came before it is not the whole text.
  bool failed() const { return failed_; }

 private:
  int next();  // the next raw byte, or -1 at the end of the file
  HANDLE file_;
  char raw_[512];
  uint64_t left_;  // bytes of the file not read yet
  size_t rawLen_ = 0, rawPos_ = 0;
  int pending_ = -1;  // a byte read ahead after a carriage return
  bool ended_ = false;
  bool failed_ = false;
};
