// The tool's text channels. Everything inside the tool is UTF-8; on Windows
// the command line arrives as UTF-16 and a console gets UTF-16 through
// WriteConsoleW, while pipes and files get the UTF-8 bytes.
#pragma once

#include <string>

class Console {
 public:
  static void Out(const std::string& utf8);
  static void Err(const std::string& utf8);
  // Reads all of standard input as bytes.
  static std::string ReadStdin();
};
