// The registrar's table of replacements: each %name% in a script becomes the
// text added under that name, the name matched without regard to case (of
// the letters A to Z). %% stands for one '%'. A name that is not in the
// table, or a '%' without its partner, is a fault.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "RegResult.h"

class RegReplacements {
 public:
  // Adds or replaces name's text.
  void Add(const std::u16string& name, const std::u16string& text);
  void Clear() { m_entries.clear(); }

  // The script with every replacement made; a fault names the offset of
  // its '%' in the script.
  RegResult Expand(const std::u16string& script, std::u16string& out) const;

 private:
  const std::u16string* Find(const std::u16string& name) const;

  std::vector<std::pair<std::u16string, std::u16string>> m_entries;  // name, text
};
