// Owns one COM interface reference (Windows only): released when the owner
// goes. put() serves out parameters, As() asks the object for another
// interface.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <unknwn.h>

#include <utility>

template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  // Takes over a reference the caller owns (no AddRef).
  explicit ComPtr(T* p) : m_p(p) {}
  ~ComPtr() { Reset(); }
  ComPtr(const ComPtr& other) : m_p(other.m_p) {
    if (m_p) m_p->AddRef();
  }
  ComPtr& operator=(const ComPtr& other) {
    if (this != &other) {
      if (other.m_p) other.m_p->AddRef();
      Reset();
      m_p = other.m_p;
    }
    return *this;
  }
  ComPtr(ComPtr&& other) noexcept : m_p(other.Detach()) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      Reset();
      m_p = other.Detach();
    }
    return *this;
  }

  T* get() const { return m_p; }
  T* operator->() const { return m_p; }
  explicit operator bool() const { return m_p != nullptr; }

  // For out arguments; the old reference is released first.
  T** put() {
    Reset();
    return &m_p;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }

  void Reset() {
    if (T* p = std::exchange(m_p, nullptr)) p->Release();
  }
  // Gives the reference to the caller, who must release it.
  T* Detach() { return std::exchange(m_p, nullptr); }

  // Queries the object held for interface U.
  template <class U>
  HRESULT As(const IID& iid, ComPtr<U>& out) const {
    if (!m_p) return E_POINTER;
    return m_p->QueryInterface(iid, out.put_void());
  }

 private:
  T* m_p = nullptr;  // owned reference
};
