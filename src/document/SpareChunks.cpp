#include "SpareChunks.h"

#include <atomic>
#include <cstdlib>
#include <thread>

// A kept chunk is poisoned for the address sanitizer, so that a use of a
// released pool's memory is still found, as it is after a free. Without
// the sanitizer the header's macros do nothing.
#if defined(__has_include)
#if __has_include(<sanitizer/asan_interface.h>)
#include <sanitizer/asan_interface.h>
#endif
#endif
#if !defined(ASAN_POISON_MEMORY_REGION)
#define ASAN_POISON_MEMORY_REGION(chunk, size) static_cast<void>(0)
#define ASAN_UNPOISON_MEMORY_REGION(chunk, size) static_cast<void>(0)
#endif

namespace {

struct Spare {
  void* chunk;  // owned; null for a free place
  size_t size;
};

// Documents may be loaded and closed on several threads at once. Nothing
// here has a destructor: when a process ends, the system may have ended a
// thread while it held the lock, and the memory goes with the process
// anyway. The lock is held only for a look at a few places; a thread that
// finds it taken gives up its turn until it is free.
constexpr size_t kPlaces = 16;
std::atomic_flag g_locked = ATOMIC_FLAG_INIT;
Spare g_spares[kPlaces];
size_t g_kept = 0;  // bytes in all of them

class Hold {
 public:
  Hold() {
    while (g_locked.test_and_set(std::memory_order_acquire)) std::this_thread::yield();
  }
  ~Hold() { g_locked.clear(std::memory_order_release); }
  Hold(const Hold&) = delete;
  Hold& operator=(const Hold&) = delete;
};

}  // namespace

void* SpareChunks::Take(size_t bytes, size_t& size) {
  Hold hold;
  Spare* best = nullptr;
  for (Spare& spare : g_spares) {
    if (!spare.chunk || spare.size < bytes || spare.size / 2 > bytes) continue;
    if (!best || spare.size < best->size) best = &spare;
  }
  if (!best) return nullptr;
  void* chunk = best->chunk;
  size = best->size;
  g_kept -= size;
  *best = {};
  ASAN_UNPOISON_MEMORY_REGION(chunk, size);
  return chunk;
}

void SpareChunks::Give(void* chunk, size_t size) {
  if (size >= kSmallest) {
    Hold hold;
    if (size <= kMostKept - g_kept) {
      for (Spare& spare : g_spares) {
        if (spare.chunk) continue;
        spare = {chunk, size};
        g_kept += size;
        ASAN_POISON_MEMORY_REGION(chunk, size);
        return;
      }
    }
  }
  std::free(chunk);
}

void SpareChunks::FreeAll() {
  Hold hold;
  for (Spare& spare : g_spares) {
    if (!spare.chunk) continue;
    ASAN_UNPOISON_MEMORY_REGION(spare.chunk, spare.size);
    std::free(spare.chunk);
    spare = {};
  }
  g_kept = 0;
}
