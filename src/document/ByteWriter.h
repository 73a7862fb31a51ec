// Little-endian output into one buffer; the file is written from it in one
// piece once the whole document has been laid out. A writer that knows the
// size beforehand reserves it, so that nothing is copied as the content
// grows; the buffer is never filled with zeros first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

class ByteWriter {
 public:
  // Room for n bytes in all, taken at once. Throws std::bad_alloc.
  void Reserve(size_t n);

  void WriteU16LE(uint16_t v) { Put(Grow(2), v, 2); }
  void WriteU32LE(uint32_t v) { Put(Grow(4), v, 4); }
  void WriteU64LE(uint64_t v) { Put(Grow(8), v, 8); }
  void WriteBytes(const void* p, size_t n);
  // Room for n more bytes at the end, to be filled by the caller. Beyond
  // what was reserved, the buffer doubles.
  uint8_t* Grow(size_t n) {
    if (m_capacity - m_size < n) Enlarge(n);
    uint8_t* at = m_bytes.get() + m_size;
    m_size += n;
    return at;
  }

  const uint8_t* data() const { return m_bytes.get(); }
  size_t size() const { return m_size; }
  size_t capacity() const { return m_capacity; }

 private:
  static void Put(uint8_t* at, uint64_t v, int n) {
    for (int i = 0; i < n; ++i) at[i] = static_cast<uint8_t>(v >> (8 * i));
  }
  void Enlarge(size_t n);

  std::unique_ptr<uint8_t[]> m_bytes;  // owned
  size_t m_size = 0;
  size_t m_capacity = 0;
};
