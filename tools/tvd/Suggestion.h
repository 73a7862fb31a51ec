// The nearest of some names to a word that is none of them, for "did you
// mean ...?" after a mistyped command or option.
#pragma once

#include <string>
#include <vector>

class Suggestion {
 public:
  // The name closest to word by edits of single characters (an insertion,
  // a removal, a change or two neighbours swapped; a change of case costs
  // nothing), or "" when none is close enough to be what was meant.
  static std::string Nearest(const std::string& word, const std::vector<std::string>& names);
  // The number of such edits between two words.
  static size_t Distance(const std::string& a, const std::string& b);
};
