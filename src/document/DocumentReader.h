// Reads a virtual document file's bytes into a document. Lengths and counts
// are never trusted: every one is checked against the bytes that are left
// before anything is allocated for it.
#pragma once

#include "ByteReader.h"
#include "VirtualDocument.h"

class DocumentReader {
 public:
  DocumentReader(const uint8_t* data, size_t size) : in_(data, size) {}
  DocumentReader(uint64_t size, ByteReader::Fill fill) : in_(size, std::move(fill)) {}

  // Ok or BadFormat; blocks read before a fault stay in the document.
  DocStatus ReadBody(VirtualDocument& doc);
  uint64_t position() const { return in_.position(); }

 private:
  bool ReadHeader();
  DocStatus Fail(VirtualDocument& doc);
  bool ReadBlock(VirtualDocument& doc);
  bool ReadString(WString& out);
  bool ReadValue(VARIANT& out);
  // The next string's characters, cut at the first zero character.
  bool ReadChars(const uint8_t*& chars, size_t& count);

  ByteReader in_;
  int version_ = 0;
};
