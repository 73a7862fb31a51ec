// The memory behind a document's content: its blocks, attributes, names and
// the texts read from its file. Memory is taken in chunks and given back
// all at once when the document is cleared, so that loading a large file
// costs a few allocations rather than several per attribute.
#pragma once

#include "Automation.h"
#include "PooledString.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

class DocumentPool {
 public:
  DocumentPool() = default;
  ~DocumentPool() { Release(); }
  DocumentPool(const DocumentPool&) = delete;
  DocumentPool& operator=(const DocumentPool&) = delete;

  // Throws std::bad_alloc when no memory is left. Inline: a load takes one
  // or two of these per attribute.
  void* Allocate(size_t bytes, size_t alignment) {
    // Measured as distances from m_cur, so that nothing can overflow.
    const size_t pad = static_cast<size_t>(-reinterpret_cast<uintptr_t>(m_cur) & (alignment - 1));
    const size_t free = static_cast<size_t>(m_end - m_cur);
    if (!m_cur || pad > free || bytes > free - pad) return AllocateInNewChunk(bytes, alignment);
    char* at = m_cur + pad;
    m_cur = at + bytes;
    return at;
  }

  // A copy of text, cut at its first zero character.
  PooledString Copy(const OLECHAR* text, size_t size);
  // Room for a name of up to maxSize characters; Finish cuts it to size.
  // Finish also makes a name of text laid out elsewhere in the pool, with
  // room for the zero character after it.
  OLECHAR* StartString(size_t maxSize) {
    return static_cast<OLECHAR*>(Allocate(CharBytes(maxSize), alignof(OLECHAR)));
  }
  // The first size of room characters, ended by a zero after all of them;
  // where size is less than room, the character at size must be a zero.
  // The zero's place does not wait for where a text's first zero lies.
  static PooledString FinishString(OLECHAR* text, size_t size, size_t room) {
    text[room] = 0;
    return PooledString(text, size);
  }
  static PooledString FinishString(OLECHAR* text, size_t size) {
    return FinishString(text, size, size);
  }

  // Room for a text value of up to maxSize characters in the BSTR layout
  // (its byte length before it, a zero character after it), so that
  // everything that reads a BSTR reads it. The pool owns it: it must never be
  // given to SysFreeString or VariantClear. Finish also makes a text of
  // characters laid out elsewhere in the pool, with four bytes free before
  // them and room for the zero character after them.
  BSTR StartText(size_t maxSize) {
    auto* block =
        static_cast<char*>(Allocate(sizeof(uint32_t) + CharBytes(maxSize), alignof(uint32_t)));
    return reinterpret_cast<BSTR>(block + sizeof(uint32_t));
  }
  static void FinishText(BSTR text, size_t size, size_t room) {
    // The caller's maxSize came from a 32-bit length, but a BSTR counts
    // bytes in 32 bits too; the reader refuses texts longer than that.
    const uint32_t bytes = static_cast<uint32_t>(size * sizeof(OLECHAR));
    std::memcpy(reinterpret_cast<char*>(text) - sizeof(uint32_t), &bytes, sizeof bytes);
    text[room] = 0;
  }
  static void FinishText(BSTR text, size_t size) { FinishText(text, size, size); }

  // Gives every chunk back; everything made from the pool is gone.
  void Release();

  // Where the pool stands, so that a piece of work that fails halfway can
  // give back what it took: Rewind frees the chunks taken since the mark and
  // makes the space after it free again. Everything made from the pool
  // since the mark must be gone by then.
  struct Mark {
    void* chunks;
    char* cur;
    char* end;
    size_t taken;
  };
  Mark Where() const { return {m_chunks, m_cur, m_end, m_taken}; }
  void Rewind(const Mark& mark);
  // The bytes of all chunks held.
  size_t taken() const { return m_taken; }

  // Test seam: every pool fails to grow beyond this many bytes.
  static void SetLimitForTesting(size_t bytes);

 private:
  struct Chunk {
    Chunk* next;  // owned: the chunk taken before this one
    size_t size;  // in bytes, with this header; a spare may be larger than asked for
  };

  void* AllocateInNewChunk(size_t bytes, size_t alignment);
  // Characters plus the zero after them, in bytes.
  static size_t CharBytes(size_t size) {
    if (size > SIZE_MAX / 2 / sizeof(OLECHAR)) ThrowNoMemory();
    return (size + 1) * sizeof(OLECHAR);
  }
  [[noreturn]] static void ThrowNoMemory();

  Chunk* m_chunks = nullptr;  // owned, newest first
  char* m_cur = nullptr;      // borrowed: free space in the newest chunk
  char* m_end = nullptr;
  size_t m_taken = 0;  // bytes in all chunks, to size the next one
};
