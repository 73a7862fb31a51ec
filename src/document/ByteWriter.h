// Little-endian output into a growing buffer; the file is written from it in
// one piece once the whole document has been laid out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class ByteWriter {
 public:
  void WriteU16LE(uint16_t v) { Put(Grow(2), v, 2); }
  void WriteU32LE(uint32_t v) { Put(Grow(4), v, 4); }
  void WriteU64LE(uint64_t v) { Put(Grow(8), v, 8); }
  void WriteBytes(const void* p, size_t n);
  // Room for n more bytes at the end, to be filled by the caller.
  uint8_t* Grow(size_t n);

  const uint8_t* data() const { return m_bytes.data(); }
  size_t size() const { return m_bytes.size(); }

 private:
  static void Put(uint8_t* at, uint64_t v, int n) {
    for (int i = 0; i < n; ++i) at[i] = static_cast<uint8_t>(v >> (8 * i));
  }

  std::vector<uint8_t> m_bytes;
};
