// The process-wide record of the codes reported through SetError, in order.
#pragma once

#include <windows.h>

class ErrorStack {
 public:
  static constexpr DWORD kCapacity = 1024;

  static ErrorStack* instance();  // null when it could not be created
  virtual ~ErrorStack() = default;

  void push(LONG code);
  DWORD count() const { return count_; }
  LONG at(DWORD i) const { return codes_[i]; }

 private:
  ErrorStack() = default;
  LONG codes_[kCapacity] = {};
  DWORD count_ = 0;
};

// Stores the code through the error holder, records it and traces it.
void SetError(LONG* error, LONG code);
