// Large chunks of memory that a released document pool leaves for the next
// pool, process-wide. The heap gives chunks this large back to the system
// when they are freed (glibc above its adaptive thresholds, the Windows heap
// above about 512 KB), and fresh memory comes back page by page. A page
// fault costs microseconds on some virtual machines: a process that read a
// 2.6 MB file again and again, decoding it all each time, paid 1,350 faults
// a load, 18 ms against 1.1 ms for a 9 MB file whose chunks the heap
// happened to keep. Only a bounded amount is kept.
#pragma once

#include <cstddef>

class SpareChunks {
 public:
  // Chunks smaller than this stay with the heap, which keeps them itself.
  static constexpr size_t kSmallest = 128 * 1024;
  // Kept at most, in all.
  static constexpr size_t kMostKept = 32 * 1024 * 1024;

  // A kept chunk of at least bytes and at most twice as many, which is
  // the caller's now, with its whole size in size; null when none fits.
  static void* Take(size_t bytes, size_t& size);
  // Keeps the malloc'd chunk of size bytes for a later Take, or frees it
  // when it is small or too much is kept already.
  static void Give(void* chunk, size_t size);
  // Frees every kept chunk: the library is about to be unloaded.
  static void FreeAll();
};
