#include "DocumentPool.h"

#include "SpareChunks.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace {

// The first chunk holds a small file's whole content; later ones double up
// to a cap, so that at most one capped chunk's worth is ever unused.
constexpr size_t kFirstChunk = 8 * 1024;
constexpr size_t kLargestChunk = 4 * 1024 * 1024;
constexpr size_t kHeader = alignof(std::max_align_t);

size_t g_limit = SIZE_MAX;

// Fresh memory comes page by page, and a page fault costs microseconds on
// some virtual machines: the first full decode of a 9 MB file in a process
// took 4,000 of them, 30 times the decode itself. Linux can give the large
// chunks' memory in 2 MB pages instead, where it keeps them in that mode
// ("madvise"); memory reused from the heap is left as it is. A hint: a
// refusal changes nothing.
void AdviseLargePages(void* start, size_t size) {
#if defined(__linux__)
  constexpr uintptr_t kLargePage = 2 * 1024 * 1024;
  const uintptr_t from = (reinterpret_cast<uintptr_t>(start) + kLargePage - 1) & ~(kLargePage - 1);
  const uintptr_t to = (reinterpret_cast<uintptr_t>(start) + size) & ~(kLargePage - 1);
  if (to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
#else
  (void)start;
  (void)size;
#endif
}

}  // namespace

void* DocumentPool::AllocateInNewChunk(size_t bytes, size_t alignment) {
  if (bytes > SIZE_MAX - kHeader - alignment) throw std::bad_alloc();
  const size_t regular = std::clamp(m_taken, kFirstChunk, kLargestChunk);
  // A piece larger than a regular chunk (a file's bytes, a long name) gets
  // a chunk of its own, and the space left in the current one stays in use.
  const bool own = bytes + alignment > regular;
  const size_t wanted = own ? bytes + alignment : regular;
  if (wanted > g_limit || m_taken > g_limit - wanted) throw std::bad_alloc();
  static_assert(sizeof(Chunk) <= kHeader, "the header keeps what follows it aligned");
  size_t size = 0;
  auto* chunk = static_cast<Chunk*>(SpareChunks::Take(kHeader + wanted, size));
  if (!chunk) {
    size = kHeader + wanted;
    chunk = static_cast<Chunk*>(std::malloc(size));
    if (!chunk) throw std::bad_alloc();
    AdviseLargePages(chunk, size);
  }
  chunk->next = m_chunks;
  chunk->size = size;
  m_chunks = chunk;
  m_taken += wanted;
  char* start = reinterpret_cast<char*>(chunk) + kHeader;
  if (own) return start + (-reinterpret_cast<uintptr_t>(start) & (alignment - 1));
  m_cur = start;
  m_end = start + wanted;
  return Allocate(bytes, alignment);
}

// Back to where a new pool stands.
void DocumentPool::Release() { Rewind(Mark{nullptr, nullptr, nullptr, 0}); }

void DocumentPool::Rewind(const Mark& mark) {
  while (m_chunks && m_chunks != mark.chunks) {
    Chunk* next = m_chunks->next;
    SpareChunks::Give(m_chunks, m_chunks->size);
    m_chunks = next;
  }
  m_cur = mark.cur;
  m_end = mark.end;
  m_taken = mark.taken;
}

PooledString DocumentPool::Copy(const OLECHAR* text, size_t size) {
  OLECHAR* into = StartString(size);
  size_t n = 0;
  while (n < size && text[n]) {
    into[n] = text[n];
    ++n;
  }
  return FinishString(into, n);
}

void DocumentPool::ThrowNoMemory() { throw std::bad_alloc(); }

void DocumentPool::SetLimitForTesting(size_t bytes) { g_limit = bytes; }
