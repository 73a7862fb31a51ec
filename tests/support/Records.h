// An array of the host's ValueRecords that the test owns: names and values
// are freed at the end.
#pragma once

#include "KivHost.h"

#include <string>
#include <vector>

class Records {
 public:
  explicit Records(size_t count);
  ~Records();
  Records(const Records&) = delete;
  Records& operator=(const Records&) = delete;

  ValueRecord* data() { return m_records.data(); }
  ValueRecord& operator[](size_t i) { return m_records[i]; }
  LONG count() const { return static_cast<LONG>(m_records.size()); }

  // Sets record i's names (replacing earlier ones).
  void Name(size_t i, const wchar_t* block, const wchar_t* attrib);
  void SetInt(size_t i, LONG value);
  void SetReal(size_t i, double value);
  void SetDate(size_t i, double value);
  void SetText(size_t i, const wchar_t* text);

 private:
  std::vector<ValueRecord> m_records;
};

// Text of a VT_BSTR value, or a marker for other types.
std::wstring TextOf(const VARIANT& value);
