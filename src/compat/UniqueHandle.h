// Owns one system handle or descriptor and closes it when the owner goes.
// Every handle the library and its tools open is kept in one of these (or in
// one of the GDI/USER guards built on it), so no code calls a close function
// by hand.
#pragma once

#include <utility>

// The value that means "no handle": null for most handles. Files on Windows
// use INVALID_HANDLE_VALUE and POSIX descriptors -1; they say so with their
// own function.
template <typename T>
constexpr T NullHandle() {
  return T();
}

// Owns one handle of type T and closes it with Close when it goes, unless it
// is the invalid value Invalid(). Move-only.
template <typename T, auto Close, T (*Invalid)() = NullHandle<T>>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(T handle) : m_handle(handle) {}
  ~UniqueHandle() { reset(); }

  UniqueHandle(UniqueHandle&& other) noexcept : m_handle(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  T get() const { return m_handle; }
  explicit operator bool() const { return m_handle != Invalid(); }

  // Gives up ownership without closing.
  T release() { return std::exchange(m_handle, Invalid()); }

  // Closes the handle held (if any) and takes ownership of handle.
  void reset(T handle = Invalid()) {
    const T old = std::exchange(m_handle, handle);
    if (old != Invalid()) Close(old);
  }

  // Closes the handle held, which must be valid, and returns what the close
  // function returned (for closes whose failure means lost data); the owner
  // is empty afterwards.
  auto close() { return Close(release()); }

 private:
  T m_handle = Invalid();  // owned
};

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

inline HANDLE InvalidFileHandle() { return INVALID_HANDLE_VALUE; }

// A handle from CreateFileW and its kin (INVALID_HANDLE_VALUE when none).
using UniqueFile = UniqueHandle<HANDLE, ::CloseHandle, InvalidFileHandle>;
// A handle that is null when none: events, threads, processes, mappings.
using UniqueKernelHandle = UniqueHandle<HANDLE, ::CloseHandle>;
// A loaded library: each owner holds one of its references.
using UniqueModule = UniqueHandle<HMODULE, ::FreeLibrary>;
#else
#include <unistd.h>

constexpr int NoDescriptor() { return -1; }

// A POSIX file descriptor (-1 when none).
using UniqueFd = UniqueHandle<int, ::close, NoDescriptor>;
#endif
