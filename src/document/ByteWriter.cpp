#include "ByteWriter.h"

void ByteWriter::WriteU16LE(uint16_t v) {
  const uint8_t b[2] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
  bytes_.insert(bytes_.end(), b, b + 2);
}

void ByteWriter::WriteU32LE(uint32_t v) {
  const uint8_t b[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                        static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 24)};
  bytes_.insert(bytes_.end(), b, b + 4);
}

void ByteWriter::WriteU64LE(uint64_t v) {
  uint8_t b[8];
  for (int i = 0; i < 8; ++i) b[i] = static_cast<uint8_t>(v >> (8 * i));
  bytes_.insert(bytes_.end(), b, b + 8);
}

void ByteWriter::WriteBytes(const void* p, size_t n) {
  const auto* b = static_cast<const uint8_t*>(p);
  bytes_.insert(bytes_.end(), b, b + n);
}
