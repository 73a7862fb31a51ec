#include "TvdBytes.h"

#include <cstring>

namespace {

const char kOldest[] = "Mirelda Virtual Document 1.00";
const char kNewest[34] = "Tavorin Virtual Document x.xx";

}  // namespace

TvdBytes::TvdBytes(int version) : version_(version) {
  const char* magic = version == 0 ? kOldest : kNewest;
  bytes_.assign(magic, magic + 30);  // 29 characters and the zero byte
  if (version != 0) U32(static_cast<uint32_t>(version));
  countAt_ = bytes_.size();
  U32(0);
}

void TvdBytes::U16(uint16_t v) {
  bytes_.push_back(static_cast<uint8_t>(v));
  bytes_.push_back(static_cast<uint8_t>(v >> 8));
}

void TvdBytes::U32(uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void TvdBytes::F64(double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  for (int i = 0; i < 8; ++i) bytes_.push_back(static_cast<uint8_t>(bits >> (8 * i)));
}

void TvdBytes::String(const std::wstring& text) {
  U32(static_cast<uint32_t>(text.size()));
  for (wchar_t c : text) {
    if (version_ == 2)
      U16(static_cast<uint16_t>(c));
    else
      bytes_.push_back(static_cast<uint8_t>(c));  // Latin-1 range only in tests
  }
}

TvdBytes& TvdBytes::Block(const std::wstring& name, uint32_t attribCount) {
  uint32_t count = 0;
  for (int i = 0; i < 4; ++i) count |= static_cast<uint32_t>(bytes_[countAt_ + i]) << (8 * i);
  ++count;
  for (int i = 0; i < 4; ++i) bytes_[countAt_ + i] = static_cast<uint8_t>(count >> (8 * i));
  String(name);
  U32(attribCount);
  return *this;
}

TvdBytes& TvdBytes::Int(const std::wstring& name, int32_t value) {
  String(name);
  U16(3);
  U32(static_cast<uint32_t>(value));
  return *this;
}

TvdBytes& TvdBytes::Real(const std::wstring& name, double value) {
  String(name);
  U16(5);
  F64(value);
  return *this;
}

TvdBytes& TvdBytes::Date(const std::wstring& name, double value) {
  String(name);
  U16(7);
  F64(value);
  return *this;
}

TvdBytes& TvdBytes::Text(const std::wstring& name, const std::wstring& value) {
  String(name);
  if (version_ != 0) U16(8);
  String(value);
  return *this;
}

std::vector<uint8_t> NewestHeader() {
  std::vector<uint8_t> bytes(kNewest, kNewest + 34);
  bytes[30] = 2;  // the version field follows the magic's zero byte
  bytes[31] = bytes[32] = bytes[33] = 0;
  return bytes;
}
