// What check or convert found for one file, and its line in the report: a
// line for people or a JSON object (JSON Lines). A name is written so that
// it cannot break its line: in the line for people a control character shows
// as \n, \t or \xHH, and so does each byte that is not UTF-8; in JSON the
// name is escaped, with U+FFFD for bytes that are not UTF-8, and then
// "path_bytes" holds the name's exact bytes in hex.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct FileReport {
  enum class Status { Ok, CannotOpen, BadFormat, Converted, Unchanged, Refused };

  std::string shown;  // the file's name as the user spells it
  Status status = Status::Ok;
  std::string reason;  // CannotOpen: why; Refused: the whole reason
  bool dryRun = false;
  // The file as read: complete when read is set, else up to a fault when
  // faulted is set.
  bool read = false;
  size_t blocks = 0;
  size_t attributes = 0;
  int version = 0;
  std::string generation;  // the header's magic, or "" without one
  bool faulted = false;
  uint64_t offset = 0;
  size_t completeBlocks = 0;

  bool failed() const {
    return status == Status::CannotOpen || status == Status::BadFormat || status == Status::Refused;
  }
  // "FILE: ok (3 blocks, 1 attribute, version 2)", with a newline.
  std::string Line() const;
  // One JSON object, with a newline.
  std::string Json() const;

  // "bad format at byte 42 (1 complete block before the fault)"
  static std::string BadFormat(uint64_t offset, size_t completeBlocks);
  static std::string Count(size_t n, const char* one, const char* many);
  // The name for a line of text: control characters and bytes that are not
  // UTF-8 escaped.
  static std::string ShownName(const std::string& name);
  // The name as a JSON string, quotes included; sets exact when the bytes
  // were UTF-8 and the string holds them all.
  static std::string JsonString(const std::string& text, bool& exact);
};
