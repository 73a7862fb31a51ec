// A registry key opened by name on its first read and then kept open, for
// values read each time a preview window is made: a query on an open key is
// one call to the registry, where open, query and close are three (each a
// round trip to the server under Wine). Every read still sees the key that the
// name names now: a key deleted since it was opened is opened again. CloseAll
// closes every shared key of the process, for when the library has no live
// object left (an open key of HKEY_CURRENT_USER keeps the user's hive
// loaded); the next read opens it again. Safe to use from any thread; reads
// are serialised.
#pragma once

#include "Registry.h"

#include <functional>

class SharedKey {
 public:
  // Nothing is opened yet: the first Read opens subKey below root for reading.
  SharedKey(HKEY root, const wchar_t* subKey);
  ~SharedKey();
  SharedKey(const SharedKey&) = delete;
  SharedKey& operator=(const SharedKey&) = delete;

  // Calls read with the open key and returns its answer; false without
  // calling it when the key cannot be opened. A key that is missing is looked
  // for again on the next Read.
  bool Read(const std::function<bool(Registry&)>& read);
  // Closes this key until the next Read.
  void Close();
  // Closes every SharedKey of the process.
  static void CloseAll();

 private:
  const HKEY m_root;
  const wchar_t* const m_subKey;  // borrowed: a constant text
  Registry m_key;                 // owned: the open key, closed while the key is missing
  CRITICAL_SECTION m_lock;        // guards m_key
  SharedKey* m_next = nullptr;    // borrowed: the next in the process's list (guarded by its lock)
};
