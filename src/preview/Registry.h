// One open registry key with open, read and close operations. Keeps the
// status of its last registry call (0 for success). Nothing here throws.
#pragma once

#include "Handles.h"

#include <string>

class Registry {
 public:
  Registry();
  virtual ~Registry();
  Registry(const Registry&) = delete;
  Registry& operator=(const Registry&) = delete;

  // Opens subKey below parent with access; a key held before is closed first.
  bool Open(HKEY parent, const wchar_t* subKey, REGSAM access);
  // Closes the key; true with nothing to close (the last status kept then).
  bool Close();
  // The raw value query: arguments passed through to the registry.
  bool QueryValue(const wchar_t* name, DWORD* type, BYTE* data, DWORD* size);
  // A plain or expandable string value, the latter with its environment
  // references expanded. The text is complete even when stored without its
  // terminating zero. text is left alone on failure.
  bool QueryString(const wchar_t* name, std::wstring& text);

  LONG LastError() const { return m_lastError; }
  bool IsOpen() const { return m_hKey.get() != nullptr; }

 private:
  bool ReadString(const wchar_t* name, std::wstring& text);

  UniqueKey m_hKey;  // owned: the open key, null when none
  LONG m_lastError;  // status of the last registry call
};
