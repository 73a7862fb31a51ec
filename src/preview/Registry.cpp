#include "Registry.h"

#include <cstring>
#include <memory>
#include <new>

namespace {

// Values up to this many UTF-16 units are read on the stack; longer ones (the
// registry allows values of any length) on the heap, so that a huge value
// cannot overflow the stack.
constexpr DWORD kStackUnits = 512;

// A buffer of wide characters on the stack when small enough, else on the
// heap; data() is null when the heap has no room.
class WideBuffer {
 public:
  explicit WideBuffer(size_t units) {
    if (units > kStackUnits) {
      m_heap.reset(new (std::nothrow) wchar_t[units]);
      m_data = m_heap.get();
    }
  }
  wchar_t* data() { return m_data; }

 private:
  wchar_t m_stack[kStackUnits];
  std::unique_ptr<wchar_t[]> m_heap;  // owned: used when the stack part is too small
  wchar_t* m_data = m_stack;          // borrowed: m_stack or m_heap
};

}  // namespace

Registry::Registry() : m_lastError(0) {}

Registry::~Registry() = default;

bool Registry::Open(HKEY parent, const wchar_t* subKey, REGSAM access) {
  m_hKey.reset();
  HKEY key = nullptr;
  m_lastError = ::RegOpenKeyExW(parent, subKey, 0, access, &key);
  if (m_lastError != ERROR_SUCCESS) return false;
  m_hKey.reset(key);
  return true;
}

bool Registry::Close() {
  if (!m_hKey) return true;
  m_lastError = m_hKey.close();
  return m_lastError == ERROR_SUCCESS;
}

bool Registry::QueryValue(const wchar_t* name, DWORD* type, BYTE* data, DWORD* size) {
  m_lastError = ::RegQueryValueExW(m_hKey.get(), name, nullptr, type, data, size);
  return m_lastError == ERROR_SUCCESS;
}

bool Registry::QueryString(const wchar_t* name, std::wstring& text) {
  try {
    return ReadString(name, text);
  } catch (const std::bad_alloc&) {
    return false;  // no room for the text: text is left as it was
  }
}

bool Registry::ReadString(const wchar_t* name, std::wstring& text) {
  DWORD type = 0;
  DWORD size = 0;
  if (!QueryValue(name, &type, nullptr, &size)) return false;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return false;

  // Room for the value and at least two zero units after it, odd sizes
  // included, so that the text always ends.
  const size_t units = size / sizeof(wchar_t) + 2;
  WideBuffer raw(units);
  if (!raw.data()) return false;
  DWORD read = size;
  if (!QueryValue(name, &type, reinterpret_cast<BYTE*>(raw.data()), &read)) return false;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return false;  // changed meanwhile
  std::memset(reinterpret_cast<BYTE*>(raw.data()) + read, 0, units * sizeof(wchar_t) - read);

  if (type == REG_EXPAND_SZ) {
    const DWORD needed = ::ExpandEnvironmentStringsW(raw.data(), nullptr, 0);
    if (needed == 0) return false;
    WideBuffer expanded(needed);
    if (!expanded.data()) return false;
    const DWORD written = ::ExpandEnvironmentStringsW(raw.data(), expanded.data(), needed);
    // More than asked for means the environment changed between the calls.
    if (written == 0 || written > needed) return false;
    text.assign(expanded.data());
    return true;
  }
  if (read == 0) {
    text.clear();
  } else {
    text.assign(raw.data());
  }
  return true;
}
