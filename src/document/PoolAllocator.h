// Lets a standard container keep its nodes in a document's pool. Nothing is
// given back one node at a time: the pool frees everything when the
// document is cleared.
#pragma once

#include "DocumentPool.h"

#include <cstddef>
#include <cstdint>
#include <new>

template <typename T>
class PoolAllocator {
 public:
  using value_type = T;

  explicit PoolAllocator(DocumentPool& pool) : m_pool(&pool) {}
  template <typename U>
  PoolAllocator(const PoolAllocator<U>& other) : m_pool(other.pool()) {}

  T* allocate(size_t n) {
    if (n > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
    return static_cast<T*>(m_pool->Allocate(n * sizeof(T), alignof(T)));
  }
  void deallocate(T*, size_t) {}

  DocumentPool* pool() const { return m_pool; }
  template <typename U>
  bool operator==(const PoolAllocator<U>& other) const {
    return m_pool == other.pool();
  }
  template <typename U>
  bool operator!=(const PoolAllocator<U>& other) const {
    return m_pool != other.pool();
  }

 private:
  DocumentPool* m_pool;  // borrowed: the document's
};
