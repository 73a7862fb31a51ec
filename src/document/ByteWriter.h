// Little-endian output into a growing buffer; the file is written from it in
// one piece once the whole document has been laid out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class ByteWriter {
 public:
  void WriteU16LE(uint16_t v);
  void WriteU32LE(uint32_t v);
  void WriteU64LE(uint64_t v);
  void WriteBytes(const void* p, size_t n);

  const uint8_t* data() const { return bytes_.data(); }
  size_t size() const { return bytes_.size(); }

 private:
  std::vector<uint8_t> bytes_;
};
