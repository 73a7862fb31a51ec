// A checked view over a file's bytes: every read is measured against what is
// left before anything is copied, a failed read leaves the position where it
// was, and the offset of the first failed read is kept for error messages.
#pragma once

#include <cstddef>
#include <cstdint>

class ByteReader {
 public:
  ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool ReadU16LE(uint16_t& out);
  bool ReadU32LE(uint32_t& out);
  bool ReadU64LE(uint64_t& out);
  // A view of the next n bytes, or null (and a recorded fault) when fewer are left.
  const uint8_t* ReadBytes(size_t n);

  // Records a fault found by the caller (a bad value rather than missing bytes).
  void MarkFault(size_t at);

  size_t position() const { return pos_; }
  size_t remaining() const { return size_ - pos_; }
  bool failed() const { return failed_; }
  size_t faultOffset() const { return fault_; }

 private:
  const uint8_t* Take(size_t n);

  const uint8_t* data_;  // borrowed
  size_t size_;
  size_t pos_ = 0;
  bool failed_ = false;
  size_t fault_ = 0;
};
