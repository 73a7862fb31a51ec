// A checked reader over a file's bytes: every read is measured against what
// is left before anything is copied or allocated, a failed read leaves the
// position where it was, and the offset of the first failed read is kept for
// error messages. The bytes come from memory, or from a file through a
// small window that is refilled as the reader moves on, so that reading a
// file never needs a copy of the whole of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

class ByteReader {
 public:
  // Reads exactly n bytes into the buffer; false when they cannot be had.
  using Fill = std::function<bool(uint8_t* into, size_t n)>;

  ByteReader(const uint8_t* data, size_t size);
  ByteReader(uint64_t size, Fill fill);

  bool ReadU16LE(uint16_t& out);
  bool ReadU32LE(uint32_t& out);
  bool ReadU64LE(uint64_t& out);
  // A view of the next n bytes, valid until the next read; null (and a
  // recorded fault) when fewer are left.
  const uint8_t* ReadBytes(uint64_t n);
  // Records a fault found by the caller (a bad value rather than missing bytes).
  void MarkFault(uint64_t at);

  uint64_t position() const { return pos_; }
  uint64_t remaining() const { return size_ - pos_; }
  bool failed() const { return failed_; }
  uint64_t faultOffset() const { return fault_; }

 private:
  const uint8_t* Take(uint64_t n);
  bool Refill(size_t n);

  uint64_t size_;
  uint64_t pos_ = 0;
  const uint8_t* cur_;  // borrowed: the next unread byte in the window
  const uint8_t* end_;  // borrowed: the end of the window
  Fill fill_;                   // empty for bytes in memory
  std::vector<uint8_t> window_; // owned window over a file
  bool failed_ = false;
  uint64_t fault_ = 0;
};
