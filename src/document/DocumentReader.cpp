#include "DocumentReader.h"

#include "AnsiCodePage.h"
#include "FileMagic.h"

#include <cstring>

namespace {

enum : uint16_t { kTagI4 = 3, kTagR8 = 5, kTagDate = 7 };

void DecodeUtf16(const uint8_t* p, size_t count, OLECHAR* out) {
  for (size_t i = 0; i < count; ++i)
    out[i] = static_cast<OLECHAR>(p[2 * i] | p[2 * i + 1] << 8);
}

}  // namespace

DocStatus DocumentReader::ReadBody(VirtualDocument& doc) {
  doc.formatVersion_ = -1;
  if (!ReadHeader()) return Fail(doc);
  doc.formatVersion_ = version_;
  uint32_t blockCount = 0;
  if (!in_.ReadU32LE(blockCount)) return Fail(doc);
  // Each block takes at least eight bytes, so a count larger than the file
  // only runs the loop until the bytes run out.
  for (uint32_t i = 0; i < blockCount; ++i)
    if (!ReadBlock(doc)) return Fail(doc);
  return DocStatus::Ok;
}

bool DocumentReader::ReadHeader() {
  const uint8_t* magic = in_.ReadBytes(kMagicSize);
  if (!magic) return false;
  if (std::memcmp(magic, kMagicNewest, kMagicSize) == 0) {
    uint32_t version = 0;
    if (!in_.ReadU32LE(version)) return false;
    if (version != 1 && version != 2) {
      in_.MarkFault(kMagicSize);
      return false;
    }
    version_ = static_cast<int>(version);
    return true;
  }
  if (std::memcmp(magic, kMagicOldest, kMagicSize) == 0 ||
      std::memcmp(magic, kMagicFour, kMagicSize) == 0) {
    version_ = 0;
    return true;
  }
  in_.MarkFault(0);
  return false;
}

DocStatus DocumentReader::Fail(VirtualDocument& doc) {
  doc.faultOffset_ = in_.faultOffset();
  return DocStatus::BadFormat;
}

bool DocumentReader::ReadBlock(VirtualDocument& doc) {
  WString name;
  uint32_t count = 0;
  if (!ReadString(name) || !in_.ReadU32LE(count)) return false;
  VirtualDocument::Block& block = doc.AppendBlock(OLESTR(""));
  block.name.swap(name);
  for (uint32_t i = 0; i < count; ++i) {
    WString attribName;
    VARIANT value;
    VariantInit(&value);
    if (!ReadString(attribName) || !ReadValue(value)) {
      VariantClear(&value);
      doc.blocks_.pop_back();
      return false;
    }
    VirtualDocument::Block::Attrib& attrib = block.AppendAttrib(OLESTR(""));
    attrib.name.swap(attribName);
    attrib.value = value;  // the attribute takes over the value
  }
  return true;
}

bool DocumentReader::ReadChars(const uint8_t*& chars, size_t& count) {
  uint32_t length = 0;
  if (!in_.ReadU32LE(length)) return false;
  const size_t width = version_ == 2 ? 2 : 1;
  // Compared as a division so that no length can overflow the product.
  if (length > in_.remaining() / width) {
    in_.MarkFault(in_.position());
    return false;
  }
  chars = in_.ReadBytes(static_cast<uint64_t>(length) * width);
  if (!chars) return false;
  count = length;
  for (size_t i = 0; i < count; ++i) {
    if (chars[i * width] == 0 && (width == 1 || chars[i * width + 1] == 0)) {
      count = i;
      break;
    }
  }
  return true;
}

bool DocumentReader::ReadString(WString& out) {
  const uint8_t* chars = nullptr;
  size_t count = 0;
  if (!ReadChars(chars, count)) return false;
  if (version_ == 2) {
    out.resize(count);
    if (count) DecodeUtf16(chars, count, &out[0]);
  } else {
    AnsiToWide(chars, count, out);
  }
  return true;
}

bool DocumentReader::ReadValue(VARIANT& out) {
  VariantClear(&out);
  uint16_t tag = 0;
  if (version_ != 0 && !in_.ReadU16LE(tag)) return false;
  if (version_ != 0 && tag == kTagI4) {
    uint32_t v = 0;
    if (!in_.ReadU32LE(v)) return false;
    out.vt = VT_I4;
    out.lVal = static_cast<LONG>(v);
    return true;
  }
  if (version_ != 0 && (tag == kTagR8 || tag == kTagDate)) {
    uint64_t bits = 0;
    if (!in_.ReadU64LE(bits)) return false;
    out.vt = tag;
    std::memcpy(&out.dblVal, &bits, sizeof bits);  // bits, not a double: NaN payloads stay
    return true;
  }
  const uint8_t* chars = nullptr;
  size_t count = 0;
  if (!ReadChars(chars, count)) return false;
  BSTR text;
  if (version_ == 2) {
    text = SysAllocStringLen(nullptr, static_cast<UINT>(count));
    if (text) DecodeUtf16(chars, count, text);
  } else {
    WString wide;
    AnsiToWide(chars, count, wide);
    text = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
  }
  if (!text) return false;
  out.vt = VT_BSTR;
  out.bstrVal = text;
  return true;
}
