// The tool's text channels. Everything inside the tool is UTF-8; on Windows
// the command line arrives as UTF-16 and a console gets UTF-16 through
// WriteConsoleW, while pipes and files get the UTF-8 bytes.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

class Console {
 public:
  // Standard output: every write is checked, and the first that fails
  // throws a ToolError ("writing standard output failed: <the system's
  // reason>"); nothing is written after it.
  static void Out(std::string_view utf8);
  // Bytes as they are (a document's file content): never through a text
  // mode, and refused, as a usage error, when standard output is a terminal.
  static void OutBytes(const void* data, size_t size);
  // Closes standard output once the tool is done with it, checked the same way.
  static void CloseOut();
  static void Err(const std::string& utf8);
  // Standard input, set to read bytes as they are (no text mode on Windows).
  static std::FILE* In();
};
