// Owner of the automation runtime's BSTR, in both builds.
#pragma once

#include "Automation.h"

#include <utility>

// Owns one BSTR (null is the empty string) and frees it when it goes.
class UniqueBstr {
 public:
  UniqueBstr() = default;
  explicit UniqueBstr(BSTR text) : m_text(text) {}
  ~UniqueBstr() { reset(); }
  UniqueBstr(UniqueBstr&& other) noexcept : m_text(other.release()) {}
  UniqueBstr& operator=(UniqueBstr&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueBstr(const UniqueBstr&) = delete;
  UniqueBstr& operator=(const UniqueBstr&) = delete;

  BSTR get() const { return m_text; }
  UINT length() const { return SysStringLen(m_text); }
  // For out parameters: frees what is held first.
  BSTR* put() {
    reset();
    return &m_text;
  }
  BSTR release() { return std::exchange(m_text, nullptr); }
  void reset(BSTR text = nullptr) {
    if (BSTR old = std::exchange(m_text, text)) SysFreeString(old);
  }

 private:
  BSTR m_text = nullptr;  // owned
};
