#include "ByteReader.h"

void ByteReader::MarkFault(size_t at) {
  if (failed_) return;
  failed_ = true;
  fault_ = at;
}

const uint8_t* ByteReader::Take(size_t n) {
  if (n > remaining()) {
    MarkFault(pos_);
    return nullptr;
  }
  const uint8_t* p = data_ + pos_;
  pos_ += n;
  return p;
}

bool ByteReader::ReadU16LE(uint16_t& out) {
  const uint8_t* p = Take(2);
  if (!p) return false;
  out = static_cast<uint16_t>(p[0] | p[1] << 8);
  return true;
}

bool ByteReader::ReadU32LE(uint32_t& out) {
  const uint8_t* p = Take(4);
  if (!p) return false;
  out = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
        static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
  return true;
}

bool ByteReader::ReadU64LE(uint64_t& out) {
  const uint8_t* p = Take(8);
  if (!p) return false;
  out = 0;
  for (int i = 7; i >= 0; --i) out = out << 8 | p[i];
  return true;
}

const uint8_t* ByteReader::ReadBytes(size_t n) { return Take(n); }
