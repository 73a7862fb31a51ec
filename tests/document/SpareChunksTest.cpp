#include "DocumentPool.h"
#include "SpareChunks.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace {

class SpareChunksTest : public ::testing::Test {
 protected:
  void SetUp() override { SpareChunks::FreeAll(); }
  void TearDown() override {
    DocumentPool::SetLimitForTesting(SIZE_MAX);
    SpareChunks::FreeAll();
  }
};

TEST_F(SpareChunksTest, AReleasedPoolsLargeChunkServesTheNextPoolOnce) {
  void* large = nullptr;
  {
    DocumentPool pool;
    large = pool.Allocate(1024 * 1024, 8);  // a chunk of its own
  }
  DocumentPool next;
  EXPECT_NE(next.Allocate(400 * 1024, 8), large);  // the spare is over twice as large
  {
    DocumentPool limited;
    DocumentPool::SetLimitForTesting(512 * 1024);  // a spare does not lift the limit
    EXPECT_THROW(limited.Allocate(1024 * 1024, 8), std::bad_alloc);
    DocumentPool::SetLimitForTesting(SIZE_MAX);
  }
  EXPECT_EQ(next.Allocate(1024 * 1024, 8), large);
  EXPECT_NE(next.Allocate(1024 * 1024, 8), large);
}

TEST_F(SpareChunksTest, OnlyLargeChunksAreKeptAndNoMoreThanTheBound) {
  SpareChunks::Give(std::malloc(1000), 1000);
  size_t size = 0;
  EXPECT_EQ(SpareChunks::Take(1000, size), nullptr);

  const size_t chunk = 8 * 1024 * 1024;
  for (size_t given = 0; given <= SpareChunks::kMostKept; given += chunk)
    SpareChunks::Give(std::malloc(chunk), chunk);
  std::vector<void*> taken;
  while (void* spare = SpareChunks::Take(chunk, size)) {
    EXPECT_EQ(size, chunk);
    taken.push_back(spare);
  }
  EXPECT_EQ(taken.size(), SpareChunks::kMostKept / chunk);
  for (void* spare : taken) std::free(spare);
}

// Pools on several threads take and leave chunks at once; a chunk handed
// to two of them would get the other's bytes.
TEST_F(SpareChunksTest, PoolsOnManyThreadsNeverShareAChunk) {
  std::vector<std::thread> threads;
  std::vector<int> mixed(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &mixed] {
      const size_t size = 200 * 1024 + static_cast<size_t>(t) * 10000;
      for (int round = 0; round < 200; ++round) {
        DocumentPool pool;
        auto* bytes = static_cast<unsigned char*>(pool.Allocate(size, 8));
        std::memset(bytes, t + 1, size);
        std::this_thread::yield();
        for (size_t i = 0; i < size; i += 997) mixed[t] += bytes[i] != t + 1;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(mixed, std::vector<int>(4, 0));
}

}  // namespace
