#include "DocumentReader.h"

#include "AnsiCodePage.h"
#include "FileMagic.h"

#include <algorithm>
#include <cstring>

namespace {

enum : uint16_t { kTagI4 = 3, kTagR8 = 5, kTagDate = 7 };

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

// A block joins the document only once all its attributes have been checked.
bool DocumentReader::ReadBlock(VirtualDocument& doc) {
  const uint8_t* name = nullptr;
  size_t nameSize = 0;
  uint32_t count = 0;
  if (!ReadChars(name, nameSize) || !in_.ReadU32LE(count)) return false;
  const uint8_t* attribs = in_.cursor();
  for (uint32_t i = 0; i < count; ++i)
    if (!ReadAttrib(nullptr)) return false;
  VirtualDocument::Block& block =
      doc.blocks_.emplace_back(DecodeName(doc.pool_, name, nameSize), doc.pool_);
  block.stored_ = {attribs, static_cast<size_t>(in_.cursor() - attribs), count, version_};
  return true;
}

// All or nothing: when memory runs out, the block is left as it was, with
// its attributes still stored, and the pool gives back what the attempt
// took, so that a later use tries again at no extra cost.
void DocumentReader::DecodeAttribs(VirtualDocument::Block& block) {
  const VirtualDocument::Block::Stored& stored = block.stored_;
  DocumentReader reader(stored.data, stored.size, stored.version);
  const DocumentPool::Mark mark = block.pool_->Where();
  try {
    // The bytes were checked when the file was read, so every record is whole.
    for (uint32_t i = 0; i < stored.count; ++i)
      if (!reader.ReadAttrib(&block)) break;
  } catch (...) {
    block.attribs_.clear();
    block.pool_->Rewind(mark);
    throw;
  }
  block.stored_ = {};
}

void DocumentReader::ForEachAttrib(const VirtualDocument::Block& block, const Visit& visit) {
  const VirtualDocument::Block::Stored& stored = block.stored_;
  if (!stored.data) {
    for (const VirtualDocument::Block::Attrib& a : block.attribs_) visit(a);
    return;
  }
  DocumentPool scratch;
  scratch.Allocate(1, 1);  // the first chunk stays, and is reused for every attribute
  const DocumentPool::Mark empty = scratch.Where();
  VirtualDocument::Block one(PooledString(), scratch);
  DocumentReader reader(stored.data, stored.size, stored.version);
  for (uint32_t i = 0; i < stored.count; ++i) {
    if (!reader.ReadAttrib(&one)) break;  // cannot happen: the records were checked
    visit(one.attribs_.back());
    one.attribs_.clear();
    scratch.Rewind(empty);
  }
}

size_t DocumentReader::AttribCount(const VirtualDocument::Block& block) {
  return block.stored_.data ? block.stored_.count : block.attribs_.size();
}

bool DocumentReader::ReadAttrib(VirtualDocument::Block* block) {
  const uint8_t* name = nullptr;
  size_t nameSize = 0;
  if (!ReadChars(name, nameSize)) return false;
  uint16_t tag = 0;
  if (version_ != 0 && !in_.ReadU16LE(tag)) return false;
  VARIANT value = {};  // VT_EMPTY
  if (version_ != 0 && tag == kTagI4) {
    uint32_t bits = 0;
    if (!in_.ReadU32LE(bits)) return false;
    value.lVal = static_cast<LONG>(bits);
    value.vt = VT_I4;
  } else if (version_ != 0 && (tag == kTagR8 || tag == kTagDate)) {
    uint64_t bits = 0;
    if (!in_.ReadU64LE(bits)) return false;
    std::memcpy(&value.dblVal, &bits, sizeof bits);  // bits, not a double: NaN payloads stay
    value.vt = tag;
  } else {
    const uint64_t at = in_.position();
    const uint8_t* chars = nullptr;
    size_t count = 0;
    if (!ReadChars(chars, count)) return false;
    if (count > 0x7FFFFFF0u / sizeof(OLECHAR)) {  // a BSTR counts its bytes in 31 bits
      in_.MarkFault(at);
      return false;
    }
    if (block) {
      // The text stays in the pool; the attribute owns nothing.
      BSTR text = block->pool_->StartText(count);
      DocumentPool::FinishText(text, Decode(chars, count, text));
      value.bstrVal = text;
      value.vt = VT_BSTR;
    }
  }
  if (block) block->attribs_.emplace_back(DecodeName(*block->pool_, name, nameSize)).value_ = value;
  return true;
}

bool DocumentReader::ReadChars(const uint8_t*& chars, size_t& count) {
  uint32_t length = 0;
  if (!in_.ReadU32LE(length)) return false;
  const uint64_t bytes = version_ == 2 ? uint64_t{length} * 2 : length;  // cannot overflow
  if (bytes > in_.remaining()) {
    in_.MarkFault(in_.position());
    return false;
  }
  chars = in_.ReadBytes(bytes);
  count = length;
  return true;
}

size_t DocumentReader::Decode(const uint8_t* chars, size_t count, OLECHAR* into) {
  if (version_ == 2) {
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
  AnsiToWide(chars, bytes, wide_);
  // A single-byte code page gives one character a byte, a double-byte one
  // fewer; never more than the bytes.
  const size_t n = std::min(wide_.size(), count);
  std::copy(wide_.data(), wide_.data() + n, into);
  return n;
}

PooledString DocumentReader::DecodeName(DocumentPool& pool, const uint8_t* chars, size_t count) {
  OLECHAR* text = pool.StartString(count);
  return DocumentPool::FinishString(text, Decode(chars, count, text));
}
