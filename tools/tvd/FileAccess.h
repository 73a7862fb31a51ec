// The little file handling the tool does beside the document itself: names
// from the command line, reasons for a failed open or save, and reading
// whole files.
#pragma once

#include "Automation.h"
#include "VirtualDocument.h"

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>

class FileAccess {
 public:
  // A command-line file name as the document's wide path: on Windows UTF-8
  // (a usage error when it is not text), elsewhere the name's bytes, which
  // need not be UTF-8 (see Utf16FromFileName).
  static WString PathFromArgument(const std::string& utf8);

  // Why a document's last Load or Save could not open or replace its file,
  // in a few words ("no such file", "read-only", ...), as recorded when it failed.
  static std::string WhyCannotRead(const VirtualDocument& doc);
  static std::string WhyCannotRead(const FileFailure& failure);
  static std::string WhyCannotWrite(const VirtualDocument& doc);
  // Why a save that had begun to write failed ("No space left on device").
  static std::string WhyWriteFailed(const VirtualDocument& doc);
  // Why a file that is not a document cannot be read, asked after the fact.
  static std::string WhyCannotRead(const WString& path);

  static bool Exists(const WString& path);
  using OpenFile = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;
  // The file opened for reading its bytes; null when it cannot be opened.
  static OpenFile OpenForReading(const WString& path);
  // Up to limit bytes from the start of the file; false when it cannot be read.
  static bool Read(const WString& path, size_t limit, std::string& bytes);
  // All of a stream, or up to limit bytes and tooLarge when it holds more;
  // false when reading fails.
  static bool ReadAll(std::FILE* in, size_t limit, std::string& bytes, bool& tooLarge);
};
