// The little file handling the tool does beside the document itself: names
// from the command line, reasons for a failed open, and reading whole files.
#pragma once

#include "Automation.h"

#include <cstddef>
#include <string>

class FileAccess {
 public:
  // A command-line file name (UTF-8) as the document's wide path; a usage
  // error when it is not text.
  static WString PathFromArgument(const std::string& utf8);

  // Why a file cannot be opened for reading or replaced, in a few words
  // ("no such file", "is a directory", ...), asked after the fact.
  static std::string WhyCannotRead(const WString& path);
  static std::string WhyCannotWrite(const WString& path);

  static bool Exists(const WString& path);
  // Up to limit bytes from the start of the file; false when it cannot be read.
  static bool Read(const WString& path, size_t limit, std::string& bytes);
};
