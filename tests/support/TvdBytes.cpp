#include "TvdBytes.h"

#include <cstring>

namespace {

const char kOldest[] = "Mirelda Virtual Document 1.00";
const char kNewest[34] = "Tavorin Virtual Document x.xx";

}  // namespace

TvdBytes::TvdBytes(int version) : m_version(version) {
  Magic(version == 0 ? kOldest : kNewest);
  if (version != 0) U32(static_cast<uint32_t>(version));
  m_countAt = m_bytes.size();
  U32(0);
}

TvdBytes& TvdBytes::Magic(const char* magic29) {
  m_bytes.insert(m_bytes.end(), magic29, magic29 + 29);
  m_bytes.push_back(0);
  return *this;
}

TvdBytes& TvdBytes::U16(uint16_t v) {
  m_bytes.push_back(static_cast<uint8_t>(v));
  m_bytes.push_back(static_cast<uint8_t>(v >> 8));
  return *this;
}

TvdBytes& TvdBytes::U32(uint32_t v) {
  for (int i = 0; i < 4; ++i) m_bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
  return *this;
}

TvdBytes& TvdBytes::F64(double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  for (int i = 0; i < 8; ++i) m_bytes.push_back(static_cast<uint8_t>(bits >> (8 * i)));
  return *this;
}

TvdBytes& TvdBytes::Raw(const Bytes& bytes) {
  m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
  return *this;
}

TvdBytes& TvdBytes::Wide(const std::u16string& text) {
  U32(static_cast<uint32_t>(text.size()));
  for (char16_t c : text) U16(c);
  return *this;
}

TvdBytes& TvdBytes::Narrow(const std::string& text) {
  U32(static_cast<uint32_t>(text.size()));
  m_bytes.insert(m_bytes.end(), text.begin(), text.end());
  return *this;
}

void TvdBytes::String(const std::wstring& text) {
  U32(static_cast<uint32_t>(text.size()));
  for (wchar_t c : text) {
    if (m_version == 2)
      U16(static_cast<uint16_t>(c));
    else
      m_bytes.push_back(static_cast<uint8_t>(c));  // Latin-1 range only in tests
  }
}

TvdBytes& TvdBytes::Block(const std::wstring& name, uint32_t attribCount) {
  uint32_t count = 0;
  for (int i = 0; i < 4; ++i) count |= static_cast<uint32_t>(m_bytes[m_countAt + i]) << (8 * i);
  ++count;
  for (int i = 0; i < 4; ++i) m_bytes[m_countAt + i] = static_cast<uint8_t>(count >> (8 * i));
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
  if (m_version != 0) U16(8);
  String(value);
  return *this;
}

Bytes NewestHeader() {
  Bytes bytes(kNewest, kNewest + 34);
  bytes[30] = 2;  // the version field follows the magic's zero byte
  bytes[31] = bytes[32] = bytes[33] = 0;
  return bytes;
}
