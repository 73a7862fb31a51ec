// The bytes of a virtual document file, written out independently of the
// library so that tests feed it real files of each header generation.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TvdBytes {
 public:
  // 0: "Mirelda Virtual Document 1.00", untagged 8-bit text; 1 and 2: the
  // newest magic with that version (8-bit or UTF-16 strings, tagged values).
  explicit TvdBytes(int version);

  TvdBytes& Block(const std::wstring& name, uint32_t attribCount);
  TvdBytes& Int(const std::wstring& name, int32_t value);
  TvdBytes& Real(const std::wstring& name, double value);
  TvdBytes& Date(const std::wstring& name, double value);
  TvdBytes& Text(const std::wstring& name, const std::wstring& value);
  // The block count is patched in as blocks are added.
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  void U16(uint16_t v);
  void U32(uint32_t v);
  void F64(double v);
  void String(const std::wstring& text);

  int version_;
  size_t countAt_;
  std::vector<uint8_t> bytes_;
};

// The newest header: magic and version 2.
std::vector<uint8_t> NewestHeader();
