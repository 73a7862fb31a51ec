#include "DocumentReader.h"

#include "AnsiCodePage.h"
#include "FileMagic.h"

#include <algorithm>
#include <cstring>

namespace {

enum : uint16_t { kTagI4 = 3, kTagR8 = 5, kTagDate = 7 };

}  // namespace

DocStatus DocumentReader::ReadBody(VirtualDocument& doc) {
  doc.m_formatVersion = -1;
  if (!ReadHeader()) return Fail(doc);
  doc.m_formatVersion = m_version;
  uint32_t blockCount = 0;
  if (!m_in.ReadU32LE(blockCount)) return Fail(doc);
  // Each block takes at least eight bytes, so a count larger than the file
  // only runs the loop until the bytes run out.
  for (uint32_t i = 0; i < blockCount; ++i)
    if (!ReadBlock(doc)) return Fail(doc);
  return DocStatus::Ok;
}

bool DocumentReader::ReadHeader() {
  const uint8_t* magic = m_in.ReadBytes(kMagicSize);
  if (!magic) return false;
  if (std::memcmp(magic, kMagicNewest, kMagicSize) == 0) {
    uint32_t version = 0;
    if (!m_in.ReadU32LE(version)) return false;
    if (version != 1 && version != 2) {
      m_in.MarkFault(kMagicSize);
      return false;
    }
    m_version = static_cast<int>(version);
    return true;
  }
  if (std::memcmp(magic, kMagicOldest, kMagicSize) == 0 ||
      std::memcmp(magic, kMagicFour, kMagicSize) == 0) {
    m_version = 0;
    return true;
  }
  m_in.MarkFault(0);
  return false;
}

DocStatus DocumentReader::Fail(VirtualDocument& doc) {
  doc.m_faultOffset = m_in.faultOffset();
  return DocStatus::BadFormat;
}

// A block joins the document only once all its attributes have been checked.
bool DocumentReader::ReadBlock(VirtualDocument& doc) {
  const uint8_t* name = nullptr;
  size_t nameSize = 0;
  uint32_t count = 0;
  if (!ReadChars(name, nameSize) || !m_in.ReadU32LE(count)) return false;
  const uint8_t* attribs = m_in.cursor();
  for (uint32_t i = 0; i < count; ++i)
    if (!ReadAttrib(nullptr)) return false;
  VirtualDocument::Block& block =
      doc.m_blocks.emplace_back(DecodeName(doc.m_pool, name, nameSize), doc.m_pool);
  block.m_stored = {attribs, static_cast<size_t>(m_in.cursor() - attribs), count, m_version};
  return true;
}

// All or nothing: when memory runs out, the block is left as it was, with
// its attributes still stored, and the pool gives back what the attempt
// took, so that a later use tries again at no extra cost.
void DocumentReader::DecodeAttribs(VirtualDocument::Block& block) {
  const VirtualDocument::Block::Stored& stored = block.m_stored;
  DocumentReader reader(stored.data, stored.size, stored.version);
  const DocumentPool::Mark mark = block.m_pool->Where();
  try {
    // The bytes were checked when the file was read, so every record is whole.
    for (uint32_t i = 0; i < stored.count; ++i)
      if (!reader.ReadAttrib(&block)) break;
  } catch (...) {
    block.m_attribs.clear();
    block.m_pool->Rewind(mark);
    throw;
  }
  block.m_stored = {};
}

void DocumentReader::ForEachAttrib(const VirtualDocument::Block& block, const Visit& visit) {
  const VirtualDocument::Block::Stored& stored = block.m_stored;
  if (!stored.data) {
    for (const VirtualDocument::Block::Attrib& a : block.m_attribs) visit(a);
    return;
  }
  DocumentPool scratch;
  scratch.Allocate(1, 1);  // the first chunk stays, and is reused for every attribute
  const DocumentPool::Mark empty = scratch.Where();
  VirtualDocument::Block one(PooledString(), scratch);
  DocumentReader reader(stored.data, stored.size, stored.version);
  for (uint32_t i = 0; i < stored.count; ++i) {
    if (!reader.ReadAttrib(&one)) break;  // cannot happen: the records were checked
    visit(one.m_attribs.back());
    one.m_attribs.clear();
    scratch.Rewind(empty);
  }
}

size_t DocumentReader::AttribCount(const VirtualDocument::Block& block) {
  return block.m_stored.data ? block.m_stored.count : block.m_attribs.size();
}

bool DocumentReader::ReadAttrib(VirtualDocument::Block* block) {
  const uint8_t* name = nullptr;
  size_t nameSize = 0;
  if (!ReadChars(name, nameSize)) return false;
  uint16_t tag = 0;
  if (m_version != 0 && !m_in.ReadU16LE(tag)) return false;
  VARIANT value = {};  // VT_EMPTY
  if (m_version != 0 && tag == kTagI4) {
    uint32_t bits = 0;
    if (!m_in.ReadU32LE(bits)) return false;
    value.lVal = static_cast<LONG>(bits);
    value.vt = VT_I4;
  } else if (m_version != 0 && (tag == kTagR8 || tag == kTagDate)) {
    uint64_t bits = 0;
    if (!m_in.ReadU64LE(bits)) return false;
    std::memcpy(&value.dblVal, &bits, sizeof bits);  // bits, not a double: NaN payloads stay
    value.vt = tag;
  } else {
    const uint64_t at = m_in.position();
    const uint8_t* chars = nullptr;
    size_t count = 0;
    if (!ReadChars(chars, count)) return false;
    if (count > 0x7FFFFFF0u / sizeof(OLECHAR)) {  // a BSTR counts its bytes in 31 bits
      m_in.MarkFault(at);
      return false;
    }
    if (block) {
      // The text stays in the pool; the attribute owns nothing.
      BSTR text = block->m_pool->StartText(count);
      DocumentPool::FinishText(text, Decode(chars, count, text));
      value.bstrVal = text;
      value.vt = VT_BSTR;
    }
  }
  if (block)
    block->m_attribs.emplace_back(DecodeName(*block->m_pool, name, nameSize)).m_value = value;
  return true;
}

bool DocumentReader::ReadChars(const uint8_t*& chars, size_t& count) {
  uint32_t length = 0;
  if (!m_in.ReadU32LE(length)) return false;
  const uint64_t bytes = m_version == 2 ? uint64_t{length} * 2 : length;  // cannot overflow
  if (bytes > m_in.remaining()) {
    m_in.MarkFault(m_in.position());
    return false;
  }
  chars = m_in.ReadBytes(bytes);
  count = length;
  return true;
}

size_t DocumentReader::Decode(const uint8_t* chars, size_t count, OLECHAR* into) {
  if (m_version == 2) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    // The stored units are already this machine's characters: copy them,
    // and look for a zero four at a time (a word has a zero unit when one
    // of its units borrows from its top bit).
    std::memcpy(into, chars, count * 2);
    size_t i = 0;
    for (; i + 4 <= count; i += 4) {
      uint64_t w;
      std::memcpy(&w, chars + 2 * i, sizeof w);
      if ((w - 0x0001000100010001u) & ~w & 0x8000800080008000u) break;
    }
    for (; i < count; ++i)
      if (into[i] == 0) return i;
    return count;
#else
    for (size_t i = 0; i < count; ++i) {
      const OLECHAR c = static_cast<OLECHAR>(chars[2 * i] | chars[2 * i + 1] << 8);
      if (c == 0) return i;
      into[i] = c;
    }
    return count;
#endif
  }
  const size_t bytes = std::find(chars, chars + count, uint8_t{0}) - chars;
  AnsiToWide(chars, bytes, m_wide);
  // A single-byte code page gives one character a byte, a double-byte one
  // fewer; never more than the bytes.
  const size_t n = std::min(m_wide.size(), count);
  std::copy(m_wide.data(), m_wide.data() + n, into);
  return n;
}

PooledString DocumentReader::DecodeName(DocumentPool& pool, const uint8_t* chars, size_t count) {
  OLECHAR* text = pool.StartString(count);
  return DocumentPool::FinishString(text, Decode(chars, count, text));
}
