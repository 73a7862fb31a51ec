#include "Suggestion.h"

#include <algorithm>
#include <cctype>

namespace {

char Folded(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

}  // namespace

size_t Suggestion::Distance(const std::string& a, const std::string& b) {
  // Three rows of the edit table: two back for a swap of neighbours.
  std::vector<size_t> before(b.size() + 1), last(b.size() + 1), row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) last[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t change = Folded(a[i - 1]) == Folded(b[j - 1]) ? 0 : 1;
      row[j] = std::min({last[j] + 1, row[j - 1] + 1, last[j - 1] + change});
      if (i > 1 && j > 1 && Folded(a[i - 1]) == Folded(b[j - 2]) &&
          Folded(a[i - 2]) == Folded(b[j - 1]))
        row[j] = std::min(row[j], before[j - 2] + 1);
    }
    before.swap(last);
    last.swap(row);
  }
  return last[b.size()];
}

std::string Suggestion::Nearest(const std::string& word, const std::vector<std::string>& names) {
  std::string best;
  size_t bestDistance = 0;
  for (const std::string& name : names) {
    const size_t d = Distance(word, name);
    // At most two edits, and fewer than half the longer word: "x" is not
    // a misspelt "new".
    if (d > 2 || d * 2 >= std::max(word.size(), name.size())) continue;
    if (best.empty() || d < bestDistance) {
      best = name;
      bestDistance = d;
    }
  }
  return best;
}
