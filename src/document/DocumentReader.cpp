#include "DocumentReader.h"

#include "AnsiCodePage.h"
#include "FileMagic.h"

#include <algorithm>
#include <cstring>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

enum : uint16_t { kTagI4 = 3, kTagR8 = 5, kTagDate = 7 };

// A BSTR counts its bytes in 31 bits.
constexpr uint32_t kLongestText = 0x7FFFFFF0u / sizeof(OLECHAR);

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
// The stored UTF-16LE units are this machine's characters as they lie.
constexpr bool kStoredUnitsAreCharacters = true;
#else
constexpr bool kStoredUnitsAreCharacters = false;
#endif

// One load where the stored order is this machine's: the compiler does not
// always join the bytes into one load itself.
uint16_t U16(const uint8_t* p) {
  if (!kStoredUnitsAreCharacters) return static_cast<uint16_t>(p[0] | p[1] << 8);
  uint16_t value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

uint32_t U32(const uint8_t* p) {
  if (kStoredUnitsAreCharacters) {
    uint32_t value;
    std::memcpy(&value, p, sizeof value);
    return value;
  }
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// How many of count UTF-16LE units come before the first zero one. Four at
// a time: a word has a zero unit when one of its units borrows from its top
// bit.
size_t WideLength(const uint8_t* chars, size_t count) {
  size_t i = 0;
  if (kStoredUnitsAreCharacters) {
    for (; i + 4 <= count; i += 4) {
      uint64_t w;
      std::memcpy(&w, chars + 2 * i, sizeof w);
      if ((w - 0x0001000100010001u) & ~w & 0x8000800080008000u) break;
    }
  }
  for (; i < count; ++i)
    if (U16(chars + 2 * i) == 0) return i;
  return count;
}

#if defined(__GNUC__)
#define LIKELY(condition) __builtin_expect(static_cast<bool>(condition), 1)
#define ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define LIKELY(condition) (condition)
#define ALWAYS_INLINE inline
#endif

#if defined(__SSE2__)
// One bit for each of the 32 UTF-16 units in the 64 bytes at p that is zero.
inline uint64_t ZeroUnits(const uint8_t* p) {
  const __m128i zero = _mm_setzero_si128();
  const auto* at = reinterpret_cast<const __m128i*>(p);
  const __m128i low = _mm_packs_epi16(_mm_cmpeq_epi16(_mm_loadu_si128(at), zero),
                                      _mm_cmpeq_epi16(_mm_loadu_si128(at + 1), zero));
  const __m128i high = _mm_packs_epi16(_mm_cmpeq_epi16(_mm_loadu_si128(at + 2), zero),
                                       _mm_cmpeq_epi16(_mm_loadu_si128(at + 3), zero));
  return uint64_t{static_cast<uint32_t>(_mm_movemask_epi8(high)) << 16 |
                  static_cast<uint32_t>(_mm_movemask_epi8(low))};
}
#endif

// How many of count stored UTF-16LE units come before the first zero one.
// The field lies in a run of checked bytes whose last 64 start at lastLook,
// or lastLook is 0 for a run shorter than that. Thirty-two units at a time,
// tested in one go: nearly every name and text is shorter, so the search
// takes one look and no branch that depends on its length; the last look
// may reach past the field, and the bit past it stops the search at its
// end. Near the run's end the look is at its last 64 bytes, shifted.
inline size_t ZeroCut(const uint8_t* chars, size_t count, uintptr_t lastLook) {
#if defined(__SSE2__)
  size_t i = 0;
  for (; reinterpret_cast<uintptr_t>(chars + 2 * i) <= lastLook; i += 32) {
    const uint64_t zeros = ZeroUnits(chars + 2 * i);
    if (LIKELY(count - i < 32))
      return i + static_cast<unsigned>(__builtin_ctzll(zeros | uint64_t{1} << (count - i)));
    if (zeros) return i + static_cast<unsigned>(__builtin_ctzll(zeros));
  }
  if (lastLook) {
    // Every field starts an even number of bytes from the run's end.
    const auto* look = reinterpret_cast<const uint8_t*>(lastLook);
    const uint64_t zeros = ZeroUnits(look) >> ((chars + 2 * i - look) / 2);
    return i + static_cast<unsigned>(__builtin_ctzll(zeros | uint64_t{1} << (count - i)));
  }
  // A call would make the decode's loop keep its values in memory across it.
  for (; i < count; ++i)
    if (U16(chars + 2 * i) == 0) return i;
  return count;
#else
  (void)lastLook;
  return WideLength(chars, count);
#endif
}

// Moves bytes back to a lower address, as memmove does. Most names and texts
// are short, and a call would cost more than the move: up to 32 bytes move
// as two pieces that may overlap, both loaded before either is stored.
template <size_t N>
void MovePieces(uint8_t* to, const uint8_t* from, size_t bytes) {
  uint8_t head[N], tail[N];
  std::memcpy(head, from, N);
  std::memcpy(tail, from + bytes - N, N);
  std::memcpy(to, head, N);
  std::memcpy(to + bytes - N, tail, N);
}

inline void MoveBack(uint8_t* to, const uint8_t* from, size_t bytes) {
  if (bytes > 32)
    std::memmove(to, from, bytes);
  else if (bytes >= 16)
    MovePieces<16>(to, from, bytes);
  else if (bytes >= 8)
    MovePieces<8>(to, from, bytes);
  else if (bytes >= 4)
    MovePieces<4>(to, from, bytes);
  else if (bytes >= 2)
    MovePieces<2>(to, from, bytes);
}

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
  const uint64_t attribs = m_in.position();
  if (m_version == 2) {
    if (!CheckWideAttribs(count)) return false;
  } else {
    for (uint32_t i = 0; i < count; ++i)
      if (!CheckAttrib()) return false;
  }
  VirtualDocument::Block& block =
      doc.m_blocks.emplace_back(DecodeName(doc.m_pool, name, nameSize), doc.m_pool);
  block.m_stored = {m_data + attribs, static_cast<size_t>(m_in.position() - attribs), count,
                    m_version};
  return true;
}

bool DocumentReader::CheckAttrib() {
  const uint8_t* chars = nullptr;
  size_t count = 0;
  if (!ReadChars(chars, count)) return false;
  uint16_t tag = 0;
  if (m_version != 0 && !m_in.ReadU16LE(tag)) return false;
  if (m_version != 0 && tag == kTagI4) return m_in.ReadBytes(4) != nullptr;
  if (m_version != 0 && (tag == kTagR8 || tag == kTagDate)) return m_in.ReadBytes(8) != nullptr;
  const uint64_t at = m_in.position();
  if (!ReadChars(chars, count)) return false;
  if (count > kLongestText) {
    m_in.MarkFault(at);
    return false;
  }
  return true;
}

// The same checks as CheckAttrib's, in the same order, so that a fault is
// found at the same offset; but on plain pointers, without a call per field.
bool DocumentReader::CheckWideAttribs(uint32_t count) {
  const uint8_t* p = m_in.cursor();
  const uint8_t* const end = p + m_in.remaining();
  // The table's places in turn, from its first again after its last. A
  // pointer that walks them is also the loop's count.
  Shape* const places = m_shapes;
  // A place's first guess: a name of no characters and a number, a shape
  // that a record may have.
  const uint32_t used = std::min(count, kGuessedPlaces);
  if (used > m_shapesMade) {
    std::fill(places + m_shapesMade, places + used, ShapeOf(0, kTagI4));
    m_shapesMade = used;
  }
  // Tested as addresses, a bound shares the add that finds the field it
  // guards. Nothing wraps: the header was read from the same bytes, so end
  // lies past address 4, and a shape's size is less than 2^32.
  const uintptr_t lastLengthAt = reinterpret_cast<uintptr_t>(end) - 4;
  const uint64_t endAt = reinterpret_cast<uintptr_t>(end);
  for (uint32_t done = 0; done < count; done += kGuessedPlaces) {
    Shape* const stop = places + std::min(count - done, kGuessedPlaces);
    for (Shape* guess = places; guess != stop; ++guess) {
      const Shape shape = *guess;
      // A record of the guessed shape ends at next; the loads only confirm
      // it, so the next record need not wait for them.
      if (LIKELY(uint64_t{reinterpret_cast<uintptr_t>(p)} + shape.size <= endAt)) {
        const uint8_t* const next = p + shape.size;
        if (LIKELY(U32(p) == shape.nameLength && U16(p + shape.tagAt) == shape.tag)) {
          if (!shape.text) {
            p = next;
            continue;
          }
          const uint32_t length = U32(next - 4);
          if (LIKELY(length <= kLongestText &&
                     uint64_t{length} * 2 <= static_cast<uint64_t>(end - next))) {
            p = next + uint64_t{length} * 2;
            continue;
          }
        }
      }
      // Field by field, so that a fault is found where it lies.
      if (reinterpret_cast<uintptr_t>(p) > lastLengthAt) return StopAt(p, p);
      const uint32_t nameLength = U32(p);
      p += 4;
      uint64_t bytes = uint64_t{nameLength} * 2;
      if (bytes > static_cast<uint64_t>(end - p)) return StopAt(p, p);
      p += bytes;
      if (end - p < 2) return StopAt(p, p);
      const uint16_t tag = U16(p);
      p += 2;
      const ptrdiff_t fixed = tag == kTagI4 ? 4 : tag == kTagR8 || tag == kTagDate ? 8 : 0;
      // A name too long for the table's fields leaves the guess as it was.
      if (nameLength < (1u << 30)) *guess = ShapeOf(nameLength, tag);
      if (fixed) {
        if (end - p < fixed) return StopAt(p, p);
        p += fixed;
        continue;
      }
      const uint8_t* const text = p;
      if (end - p < 4) return StopAt(p, p);
      const uint32_t length = U32(p);
      p += 4;
      bytes = uint64_t{length} * 2;
      if (bytes > static_cast<uint64_t>(end - p)) return StopAt(p, p);
      p += bytes;
      if (length > kLongestText) return StopAt(p, text);
    }
  }
  return StopAt(p, nullptr);
}

DocumentReader::Shape DocumentReader::ShapeOf(uint32_t nameLength, uint16_t tag) {
  const uint32_t tagAt = 4 + nameLength * 2;
  const bool text = tag != kTagI4 && tag != kTagR8 && tag != kTagDate;
  // A text's shape ends at its length: the characters after it vary.
  const uint32_t valueSize = tag == kTagR8 || tag == kTagDate ? 8 : 4;
  return {nameLength, tagAt, tagAt + 2 + valueSize, tag, text};
}

bool DocumentReader::StopAt(const uint8_t* reached, const uint8_t* fault) {
  const uint8_t* start = m_in.cursor();
  const uint64_t base = m_in.position();
  m_in.ReadBytes(static_cast<uint64_t>(reached - start));
  if (!fault) return true;
  m_in.MarkFault(base + static_cast<uint64_t>(fault - start));
  return false;
}

// All or nothing: when memory runs out, the block is left as it was, with
// its attributes still stored, and the pool gives back what the attempt
// took, so that a later use tries again at no extra cost. The attributes
// take one piece of the pool together, as one run of the block's list; a
// decode in place takes nothing else, so only a copy can fail after it has
// begun.
void DocumentReader::DecodeAttribs(VirtualDocument::Block& block) {
  const VirtualDocument::Block::Stored stored = block.m_stored;
  DocumentPool& pool = *block.m_pool;
  if (stored.count == 0) {
    block.m_stored = {};
    return;
  }
  const DocumentPool::Mark mark = pool.Where();
  VirtualDocument::Block::AttribList::Run* run = nullptr;
  try {
    run = VirtualDocument::Block::AttribList::MakeRun(pool, stored.count);
    if (kStoredUnitsAreCharacters && stored.version == 2) {
      DecodeInPlace(stored.data, stored.size, run->items, stored.count);
    } else {
      DocumentReader reader(stored.data, stored.size, stored.version);
      const uint8_t* at = stored.data;
      for (uint32_t i = 0; i < stored.count; ++i) reader.DecodeCopy(at, run->items + i, pool);
    }
  } catch (...) {
    pool.Rewind(mark);  // the attributes made own nothing
    throw;
  }
  run->count = stored.count;
  block.m_attribs.Append(run);
  block.m_stored = {};
}

void DocumentReader::ForEachAttrib(const VirtualDocument::Block& block, const Visit& visit) {
  const VirtualDocument::Block::Stored& stored = block.m_stored;
  if (!stored.data) {
    for (const Attrib& a : block.m_attribs) visit(a);
    return;
  }
  DocumentPool scratch;
  // The first chunk stays, and is reused for every attribute.
  void* slot = scratch.Allocate(sizeof(Attrib), alignof(Attrib));
  const DocumentPool::Mark empty = scratch.Where();
  DocumentReader reader(stored.data, stored.size, stored.version);
  const uint8_t* at = stored.data;
  for (uint32_t i = 0; i < stored.count; ++i) {
    Attrib* one = reader.DecodeCopy(at, slot, scratch);
    visit(*one);
    one->~Attrib();
    scratch.Rewind(empty);
  }
}

size_t DocumentReader::AttribCount(const VirtualDocument::Block& block) {
  return block.m_stored.data ? block.m_stored.count : block.m_attribs.size();
}

DocumentReader::Attrib* DocumentReader::DecodeCopy(const uint8_t*& at, void* slot,
                                                   DocumentPool& pool) {
  const size_t width = m_version == 2 ? 2 : 1;
  uint32_t length = U32(at);
  const uint8_t* chars = at + 4;
  at = chars + length * width;
  const PooledString name = DecodeName(pool, chars, length);
  VARIANT value = {};  // VT_EMPTY
  const uint16_t tag = m_version == 0 ? 0 : U16(at);
  if (m_version != 0) at += 2;
  if (m_version != 0 && tag == kTagI4) {
    value.lVal = static_cast<LONG>(U32(at));
    value.vt = VT_I4;
    at += 4;
  } else if (m_version != 0 && (tag == kTagR8 || tag == kTagDate)) {
    std::memcpy(&value.dblVal, at, 8);  // bits, not a double: NaN payloads stay
    value.vt = tag;
    at += 8;
  } else {
    length = U32(at);
    chars = at + 4;
    at = chars + length * width;
    // The text stays in the pool; the attribute owns nothing.
    BSTR text = pool.StartText(length);
    DocumentPool::FinishText(text, Decode(chars, length, text));
    value.bstrVal = text;
    value.vt = VT_BSTR;
  }
  return new (slot) Attrib(name, value);
}

// Every name stays where it lies, its zero over the tag once the tag has
// been read. A text stays where it lies too: its BSTR length goes over its
// stored length, and its zero over the first two bytes of the next record,
// whose name length is read first. The block's last record has no next one
// to lend those bytes, and nothing may be written past its own: its name
// and its text move two bytes back: the name over the last two bytes of
// its length (the first two may hold the zero of a text before it), the
// text behind its BSTR length, which goes over the tag and the first two
// bytes of its stored length. A BSTR length is read as bytes, on any
// boundary.
// Names and texts get their zero by their stored length, not by where a
// zero inside them cuts them short (that zero ends them as well), so that
// no store waits for the search for it.
template <bool kLast>
ALWAYS_INLINE void DocumentReader::DecodeRecord(uint8_t*& at, uint32_t& nameLength, Attrib* slot,
                                                uintptr_t lastLook) {
  uint8_t* const name = at + 4;
  uint8_t* const tagAt = name + size_t{nameLength} * 2;
  const uint16_t tag = U16(tagAt);
  const size_t nameSize = ZeroCut(name, nameLength, lastLook);
  VARIANT value = {};
  value.vt = tag;
  PooledString nameString;
  if (tag == kTagI4 || tag == kTagR8 || tag == kTagDate) {
    nameString = DocumentPool::FinishString(reinterpret_cast<OLECHAR*>(name), nameSize, nameLength);
    if (tag == kTagI4) {
      value.lVal = static_cast<LONG>(U32(tagAt + 2));
      at = tagAt + 6;
    } else {
      std::memcpy(&value.dblVal, tagAt + 2, 8);  // bits, not a double: NaN payloads stay
      at = tagAt + 10;
    }
    if (!kLast) nameLength = U32(at);
  } else {
    const uint32_t length = U32(tagAt + 2);
    uint8_t* const chars = tagAt + 6;
    const size_t textSize = ZeroCut(chars, length, lastLook);
    BSTR text = reinterpret_cast<BSTR>(chars);
    at = chars + size_t{length} * 2;
    if (!kLast) {
      nameString =
          DocumentPool::FinishString(reinterpret_cast<OLECHAR*>(name), nameSize, nameLength);
      nameLength = U32(at);  // before the text's zero goes over it
    } else {
      MoveBack(name - 2, name, size_t{nameLength} * 2);
      nameString =
          DocumentPool::FinishString(reinterpret_cast<OLECHAR*>(name - 2), nameSize, nameLength);
      text = reinterpret_cast<BSTR>(chars - 2);
      MoveBack(chars - 2, chars, size_t{length} * 2);
    }
    DocumentPool::FinishText(text, textSize, length);
    value.bstrVal = text;
    value.vt = VT_BSTR;
  }
  new (slot) Attrib(nameString, value);
}

// The last record is decoded after the loop, so that the loop never tests
// for it and keeps its values in registers: moving the last text calls
// memmove when it is long.
void DocumentReader::DecodeInPlace(uint8_t* at, size_t size, Attrib* slots, uint32_t count) {
  if (count == 0) return;
  const uintptr_t lastLook = size >= 64 ? reinterpret_cast<uintptr_t>(at + size - 64) : 0;
  uint32_t nameLength = U32(at);
  Attrib* const last = slots + count - 1;
  for (Attrib* slot = slots; slot != last; ++slot)
    DecodeRecord<false>(at, nameLength, slot, lastLook);
  DecodeRecord<true>(at, nameLength, last, lastLook);
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
    const size_t n = WideLength(chars, count);
    if (kStoredUnitsAreCharacters) {
      std::memcpy(into, chars, n * 2);
    } else {
      for (size_t i = 0; i < n; ++i) into[i] = static_cast<OLECHAR>(U16(chars + 2 * i));
    }
    return n;
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
