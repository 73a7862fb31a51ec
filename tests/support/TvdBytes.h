// The bytes of a virtual document file, written out independently of the
// library so that tests feed it real files of each header generation: field
// by field (the default constructor), or block by block for one header
// generation (the version constructor). Either way the calls chain.
#pragma once

#include "FileBytes.h"

#include <cstdint>
#include <string>

class TvdBytes {
 public:
  // Nothing yet: the fields follow one by one.
  TvdBytes() = default;
  // The header of one generation and a block count of 0. 0: "Mirelda Virtual
  // Document 1.00", untagged 8-bit text; 1 and 2: the newest magic with that
  // version (8-bit or UTF-16 strings, tagged values).
  explicit TvdBytes(int version);

  // Fields, little-endian.
  TvdBytes& Magic(const char* magic29);  // the 29 characters and a zero byte
  TvdBytes& U16(uint16_t v);
  TvdBytes& U32(uint32_t v);
  TvdBytes& F64(double v);
  TvdBytes& Raw(const Bytes& bytes);
  TvdBytes& Wide(const std::u16string& text);  // length, then UTF-16LE
  TvdBytes& Narrow(const std::string& text);   // length, then 8-bit bytes

  // Blocks and attributes of the generation given at construction; the block
  // count is patched in as blocks are added.
  TvdBytes& Block(const std::wstring& name, uint32_t attribCount);
  TvdBytes& Int(const std::wstring& name, int32_t value);
  TvdBytes& Real(const std::wstring& name, double value);
  TvdBytes& Date(const std::wstring& name, double value);
  TvdBytes& Text(const std::wstring& name, const std::wstring& value);

  const Bytes& bytes() const { return m_bytes; }

 private:
  void String(const std::wstring& text);

  int m_version = 2;
  size_t m_countAt = 0;
  Bytes m_bytes;
};

// The newest header: magic and version 2.
Bytes NewestHeader();
