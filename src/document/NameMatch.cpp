#include "NameMatch.h"

#include <cstring>

bool NamesEqual(const OLECHAR* a, const OLECHAR* b) {
  return lstrcmpiW(a ? a : OLESTR(""), b ? b : OLESTR("")) == 0;
}

bool PrefixEqual(const OLECHAR* a, const OLECHAR* b, int count) {
  return StrCmpNIW(a, b, count) == 0;
}

void LowerCase(WString& text) {
  if (!text.empty()) CharLowerBuffW(&text[0], static_cast<UINT>(text.size()));
}

#ifdef _WIN32

// lstrcmpiW is CompareStringW(GetThreadLocale(), NORM_IGNORECASE) on a
// zero-terminated name: the sort key is made with the same locale and flags.
bool NameKey(const OLECHAR* name, std::string& key) {
  if (!name) name = L"";
  const LCID locale = GetThreadLocale();
  const DWORD flags = LCMAP_SORTKEY | NORM_IGNORECASE;
  // Most keys fit a guess of four bytes per unit; longer ones are measured.
  key.resize(4 * std::wcslen(name) + 32);
  int size = LCMapStringW(locale, flags, name, -1, reinterpret_cast<LPWSTR>(&key[0]),
                          static_cast<int>(key.size()));
  if (size == 0 && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
    size = LCMapStringW(locale, flags, name, -1, nullptr, 0);
    if (size <= 0) return false;
    key.resize(static_cast<size_t>(size));
    size = LCMapStringW(locale, flags, name, -1, reinterpret_cast<LPWSTR>(&key[0]), size);
  }
  if (size <= 0) return false;
  key.resize(static_cast<size_t>(size));  // a sort key's size is in bytes
  return true;
}

uint32_t NameKeyContext() { return GetThreadLocale(); }

#else

bool NameKey(const OLECHAR* name, std::string& key) {
  key.clear();
  for (; name && *name; ++name) {
    OLECHAR unit = *name;
    CharLowerBuffW(&unit, 1);
    char bytes[sizeof unit];
    std::memcpy(bytes, &unit, sizeof unit);
    key.append(bytes, sizeof unit);
  }
  return true;
}

uint32_t NameKeyContext() { return 0; }

#endif
