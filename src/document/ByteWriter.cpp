#include "ByteWriter.h"

#include <cstring>

uint8_t* ByteWriter::Grow(size_t n) {
  const size_t at = m_bytes.size();
  if (m_bytes.capacity() - at < n) m_bytes.reserve(at + n > 2 * at ? at + n : 2 * at);
  m_bytes.resize(at + n);
  return m_bytes.data() + at;
}

void ByteWriter::WriteBytes(const void* p, size_t n) {
  if (n) std::memcpy(Grow(n), p, n);
}
