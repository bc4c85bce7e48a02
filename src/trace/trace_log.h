// The trace writer behind writeTrace and writeCryptoTrace. The process has one
// instance; tests make their own.
#pragma once

#include <windows.h>

#include <string>

class TraceLog {
 public:
  static constexpr int kMaxDepth = 24;
  static constexpr size_t kMaxText = 255;  // folder, file name and whole log path
  static constexpr int kSeparatorWidth = 71;

  static TraceLog& instance();

  void write(const char* text, int kind, char separator);

  bool enabled();  // reads the settings on first use
  int depth() const { return depth_; }
  const std::string& folder() const { return folder_; }
  const std::string& fileName() const { return fileName_; }

  // The bytes one call adds to the file: indentation, separator and text lines,
  // every line feed stored as carriage return and line feed.
  static std::string formatBlock(int depth, int kind, char separator, const SYSTEMTIME& time,
                                 const char* text);
  // The drive and directory part of a folder (its last name counts as a file name).
  static std::string parentOf(const std::string& folder);

 private:
  enum class State { NotRead, On, Off };
  void readSettings();
  void writeLine(const char* text, int kind, char separator);

  State state_ = State::NotRead;
  std::string folder_ = "c:\\PWY_log";
  std::string fileName_ = "Portwyn.log";
  int depth_ = -1;
};
