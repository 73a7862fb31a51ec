#include "ReadRegistryString.h"

#include "Registry.h"

#include <cwchar>
#include <new>

bool ReadRegistryString(HKEY root, const wchar_t* subKey, const wchar_t* valueName,
                        std::wstring& text) {
  Registry key;
  if (!key.Open(root, subKey, KEY_READ)) return false;
  wchar_t buffer[1024 / sizeof(wchar_t)] = {};
  DWORD type = 0;
  DWORD size = sizeof buffer;
  const bool read = key.QueryValue(valueName, &type, reinterpret_cast<BYTE*>(buffer), &size);
  key.Close();
  if (!read || type != REG_SZ) return false;
  // A value that fills the buffer has no room for its terminating zero: take
  // only the units that were read.
  try {
    text.assign(buffer, ::wcsnlen(buffer, size / sizeof(wchar_t)));
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}
