// A checked reader over bytes in memory: every read is measured against what
// is left before anything is copied or allocated, a failed read leaves the
// position where it was, and the offset of the first failed read is kept for
// error messages.
#pragma once

#include <cstddef>
#include <cstdint>

class ByteReader {
 public:
  ByteReader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

  // Inline: a large file's load is mostly these.
  bool ReadU16LE(uint16_t& out) {
    const uint8_t* p = Take(2);
    if (!p) return false;
    out = static_cast<uint16_t>(p[0] | p[1] << 8);
    return true;
  }
  bool ReadU32LE(uint32_t& out) {
    const uint8_t* p = Take(4);
    if (!p) return false;
    out = U32(p);
    return true;
  }
  bool ReadU64LE(uint64_t& out) {
    const uint8_t* p = Take(8);
    if (!p) return false;
    out = static_cast<uint64_t>(U32(p + 4)) << 32 | U32(p);
    return true;
  }
  // A view of the next n bytes; null (and a recorded fault) when fewer are
  // left.
  const uint8_t* ReadBytes(uint64_t n) { return Take(n); }
  // Records a fault found by the caller (a bad value rather than missing bytes).
  void MarkFault(uint64_t at) {
    if (m_failed) return;
    m_failed = true;
    m_fault = at;
  }

  uint64_t position() const { return m_pos; }
  const uint8_t* cursor() const { return m_data + m_pos; }
  uint64_t remaining() const { return m_size - m_pos; }
  bool failed() const { return m_failed; }
  uint64_t faultOffset() const { return m_fault; }

 private:
  static uint32_t U32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
  }
  const uint8_t* Take(uint64_t n) {
    if (n > remaining()) {
      MarkFault(m_pos);
      return nullptr;
    }
    const uint8_t* p = m_data + m_pos;
    m_pos += n;
    return p;
  }

  const uint8_t* m_data;  // borrowed
  size_t m_size;
  size_t m_pos = 0;
  bool m_failed = false;
  uint64_t m_fault = 0;
};
