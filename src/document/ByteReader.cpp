#include "ByteReader.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {
constexpr size_t kWindow = 64 * 1024;
}

ByteReader::ByteReader(const uint8_t* data, size_t size)
    : size_(size), cur_(data), end_(data + size) {}

ByteReader::ByteReader(uint64_t size, Fill fill)
    : size_(size), cur_(nullptr), end_(nullptr), fill_(std::move(fill)) {}

void ByteReader::MarkFault(uint64_t at) {
  if (failed_) return;
  failed_ = true;
  fault_ = at;
}

// Moves the unread bytes to the front of the window and reads more after
// them, so that at least n bytes are in the window.
bool ByteReader::Refill(size_t n) {
  if (!fill_) return false;
  const size_t kept = static_cast<size_t>(end_ - cur_);
  const size_t want = static_cast<size_t>(std::min<uint64_t>(std::max(n, kWindow), remaining()));
  std::vector<uint8_t> bigger;
  if (want > window_.size()) bigger.resize(want);
  uint8_t* base = bigger.empty() ? window_.data() : bigger.data();
  if (kept) std::memmove(base, cur_, kept);
  if (!bigger.empty()) window_.swap(bigger);
  if (!fill_(base + kept, want - kept)) {
    cur_ = end_ = nullptr;
    fill_ = nullptr;  // the file changed under us: no more bytes
    return false;
  }
  cur_ = base;
  end_ = base + want;
  return true;
}

const uint8_t* ByteReader::Take(uint64_t n) {
  if (n > remaining() || n > SIZE_MAX || (n > static_cast<uint64_t>(end_ - cur_) && !Refill(static_cast<size_t>(n)))) {
    MarkFault(pos_);
    return nullptr;
  }
  const uint8_t* p = cur_;
  cur_ += n;
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

const uint8_t* ByteReader::ReadBytes(uint64_t n) { return Take(n); }
