#include "ByteWriter.h"

#include <cstring>

uint8_t* ByteWriter::Grow(size_t n) {
  const size_t at = bytes_.size();
  if (bytes_.capacity() - at < n) bytes_.reserve(at + n > 2 * at ? at + n : 2 * at);
  bytes_.resize(at + n);
  return bytes_.data() + at;
}

void ByteWriter::WriteBytes(const void* p, size_t n) {
  if (n) std::memcpy(Grow(n), p, n);
}
