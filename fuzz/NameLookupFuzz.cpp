// Any UTF-16 text as attribute names and a pattern (split at zero units, the
// last piece is the pattern). The lookup must find what its rules promise,
// and a value stored under a pattern must read back under it.
#include "NameMatch.h"
#include "UniqueVariant.h"
#include "VirtualDocument.h"

#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<WString> pieces(1);
  for (size_t i = 0; i + 1 < size; i += 2) {
    const OLECHAR c = static_cast<OLECHAR>(data[i] | data[i + 1] << 8);
    if (c == 0)
      pieces.emplace_back();
    else
      pieces.back() += c;
  }
  const WString pattern = pieces.back();
  pieces.pop_back();

  VirtualDocument doc;
  VirtualDocument::Block& block = doc.AppendBlock(OLESTR("B"));
  for (const WString& name : pieces) block.AppendAttrib(name.c_str());
  const VirtualDocument::Block::Attrib* found = block.FindAttrib(pattern.c_str());

  // The exact pass comes first: the first name equal to the pattern wins.
  const VirtualDocument::Block::Attrib* exact = nullptr;
  for (const auto& a : block.attribs()) {
    if (NamesEqual(a.name.c_str(), pattern.c_str()) != NamesEqual(pattern.c_str(), a.name.c_str()))
      std::abort();
    if (!exact && NamesEqual(a.name.c_str(), pattern.c_str())) exact = &a;
  }
  if (exact && found != exact) std::abort();
  // Only a '*' at either end makes a pattern; stars alone find the first.
  const bool wild = !pattern.empty() && (pattern.front() == '*' || pattern.back() == '*');
  if (!exact && !wild && found) std::abort();
  const bool onlyStars = wild && pattern.find_first_not_of(OLECHAR('*')) == WString::npos;
  if (!exact && onlyStars && found != (pieces.empty() ? nullptr : &block.attribs().front()))
    std::abort();

  UniqueVariant value;
  value.vt = VT_I4;
  value.lVal = 12345;
  if (!doc.SetValue(OLESTR("B"), pattern.c_str(), &value)) std::abort();
  if (block.attribs().size() != pieces.size() + (found ? 0 : 1)) std::abort();
  UniqueVariant out;
  doc.GetValue(OLESTR("B"), pattern.c_str(), &out);
  if (out.vt != VT_I4 || out.lVal != 12345) std::abort();
  return 0;
}
