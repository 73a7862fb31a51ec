// A registry key opened by name once and then kept open, for values read each
// time a preview window is made: a query on an open key is one call to the
// registry, where open, query and close are three (each a round trip to the
// server under Wine). Every read still sees the key that the name names now:
// a key deleted since it was opened is opened again. Safe to use from any
// thread; reads are serialised.
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

 private:
  const HKEY m_root;
  const wchar_t* const m_subKey;  // borrowed: a constant text
  Registry m_key;                 // owned: the open key, closed while the key is missing
  CRITICAL_SECTION m_lock;        // guards m_key
};
