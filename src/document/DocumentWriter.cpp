#include "DocumentWriter.h"

#include "FileMagic.h"

#include <cstring>
#include <new>

namespace {

// A count or length that does not fit the file's 32-bit field.
bool TooLong(size_t n) { return n > 0xFFFFFFFFu; }

// Up to the first zero unit; a null text is empty.
size_t Length(const OLECHAR* text) {
  size_t length = 0;
  if (text)
    while (text[length]) ++length;
  return length;
}

// Copied as bits, never as a double: on x87 a signalling NaN that passes
// through a register comes out quiet, a different value.
void WriteDouble(ByteWriter& out, const double* d) {
  uint64_t bits;
  std::memcpy(&bits, d, sizeof bits);
  out.WriteU64LE(bits);
}

}  // namespace

DocStatus DocumentWriter::WriteBody(const VirtualDocument& doc, ByteWriter& out) {
  uint64_t size = 0;
  if (!Measure(doc, size)) return DocStatus::WriteFailed;
  if (size > SIZE_MAX - out.size()) throw std::bad_alloc();
  out.Reserve(out.size() + static_cast<size_t>(size));
  out.WriteBytes(kMagicNewest, kMagicSize);
  out.WriteU32LE(kNewestVersion);
  if (TooLong(doc.blocks().size())) return DocStatus::WriteFailed;
  out.WriteU32LE(static_cast<uint32_t>(doc.blocks().size()));
  for (const VirtualDocument::Block& block : doc.blocks()) {
    WriteString(out, block.name.c_str());
    if (TooLong(block.attribs().size())) return DocStatus::WriteFailed;
    out.WriteU32LE(static_cast<uint32_t>(block.attribs().size()));
    for (const VirtualDocument::Block::Attrib& attrib : block.attribs()) {
      WriteString(out, attrib.name.c_str());
      if (!WriteValue(out, attrib.value())) return DocStatus::WriteFailed;
    }
  }
  return DocStatus::Ok;
}

bool DocumentWriter::Measure(const VirtualDocument& doc, uint64_t& size) {
  size = kMagicSize + 4 + 4;
  if (TooLong(doc.blocks().size())) return false;
  for (const VirtualDocument::Block& block : doc.blocks()) {
    size += 4 + 2 * uint64_t{block.name.size()} + 4;
    if (TooLong(block.attribs().size())) return false;
    for (const VirtualDocument::Block::Attrib& attrib : block.attribs()) {
      size += 4 + 2 * uint64_t{attrib.name.size()} + 2;
      const VARIANT& value = attrib.value();
      if (value.vt == VT_I4) {
        size += 4;
      } else if (value.vt == VT_R8 || value.vt == VT_DATE) {
        size += 8;
      } else if (value.vt == VT_BSTR) {
        size += 4 + 2 * uint64_t{Length(value.bstrVal)};
      } else {
        UniqueVariant text;
        if (!TextForm(value, text)) return false;
        size += 4 + 2 * uint64_t{Length(text.bstrVal)};
      }
    }
  }
  return true;
}

bool DocumentWriter::TextForm(const VARIANT& value, UniqueVariant& text) {
  return SUCCEEDED(VariantChangeType(&text, const_cast<VARIANT*>(&value), 0, VT_BSTR)) &&
         text.vt == VT_BSTR;
}

void DocumentWriter::WriteString(ByteWriter& out, const OLECHAR* text) {
  const size_t length = Length(text);
  out.WriteU32LE(static_cast<uint32_t>(length));
  uint8_t* at = out.Grow(2 * length);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  if (length) std::memcpy(at, text, 2 * length);  // this machine's units are UTF-16LE
#else
  for (size_t i = 0; i < length; ++i) {
    at[2 * i] = static_cast<uint8_t>(text[i]);
    at[2 * i + 1] = static_cast<uint8_t>(text[i] >> 8);
  }
#endif
}

bool DocumentWriter::WriteValue(ByteWriter& out, const VARIANT& value) {
  if (value.vt == VT_I4) {
    out.WriteU16LE(VT_I4);
    out.WriteU32LE(static_cast<uint32_t>(value.lVal));
    return true;
  }
  if (value.vt == VT_R8 || value.vt == VT_DATE) {
    out.WriteU16LE(value.vt);
    WriteDouble(out, value.vt == VT_R8 ? &value.dblVal : &value.date);
    return true;
  }
  out.WriteU16LE(VT_BSTR);
  if (value.vt == VT_BSTR) {
    WriteString(out, value.bstrVal);  // a null BSTR is the empty string
    return true;
  }
  UniqueVariant text;
  if (!TextForm(value, text)) return false;
  WriteString(out, text.bstrVal);
  return true;
}
