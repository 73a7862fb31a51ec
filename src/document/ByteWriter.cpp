#include "ByteWriter.h"

#include <cstring>
#include <new>

void ByteWriter::Reserve(size_t n) {
  if (n <= m_capacity) return;
  std::unique_ptr<uint8_t[]> bigger(new uint8_t[n]);
  if (m_size) std::memcpy(bigger.get(), m_bytes.get(), m_size);
  m_bytes = std::move(bigger);
  m_capacity = n;
}

void ByteWriter::Enlarge(size_t n) {
  if (n > SIZE_MAX - m_size) throw std::bad_alloc();
  const size_t needed = m_size + n;
  Reserve(needed > SIZE_MAX / 2 || needed > 2 * m_capacity ? needed : 2 * m_capacity);
}

void ByteWriter::WriteBytes(const void* p, size_t n) {
  if (n) std::memcpy(Grow(n), p, n);
}
