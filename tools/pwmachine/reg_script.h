// Registry scripts (.reg files): writing them as the registry editor does, in
// UTF-16 with the version 5 header, and reading both that form and the ANSI
// "REGEDIT4" one. Reading turns the text into calls on a sink, with names and
// data already in the ANSI form the A functions take.
#pragma once

#include <windows.h>

#include "reg_tree.h"
#include "text.h"

#include <string>
#include <string_view>

namespace pwm::reg {

// ---- writing ----

// The byte order mark and the version line.
WString scriptHeader();
// A key's heading, after the blank line that separates it from what precedes.
void appendKeyHeading(WString* script, std::string_view path);
// One value line: "name"=data, strings quoted and escaped, REG_DWORD as
// dword:, anything else as hex: or hex(type): byte lists of at most 80
// columns, continued with a backslash.
void appendValue(WString* script, const Value& value);
// The script as the bytes of its file: UTF-16LE.
std::string scriptBytes(WStringView script);

// ---- reading ----

class ScriptSink {
 public:
  virtual ~ScriptSink() = default;
  // Line numbers count from 1, the version line being line 1.
  virtual void key(size_t line, const std::string& path) = 0;        // [path]
  virtual void deleteKey(size_t line, const std::string& path) = 0;  // [-path]
  virtual void value(size_t line, const std::string& name, DWORD type, const std::string& data) = 0;
  virtual void deleteValue(size_t line, const std::string& name) = 0;  // "name"=-
  // A line that could not be read; it is skipped.
  virtual void problem(size_t line, std::string_view what) = 0;
};

// Reads a whole script file. False, before any call on the sink, when it does
// not start with one of the two version lines.
bool readScript(std::string_view file, ScriptSink* sink);

}  // namespace pwm::reg
